// Declarations: specifiers, declarators, globals, locals, initializers.
#include "cfront/parser.h"

#include <set>

namespace vx::cfront {

Parser::Parser(Program& program, std::vector<Token> tokens)
    : program_(program), sema_(program), tokens_(std::move(tokens)) {
    open_scope();
}

// ---- Tokens and scopes ------------------------------------------------------------------------

const Token& Parser::peek(size_t ahead) const {
    const size_t index = std::min(at_ + ahead, tokens_.size() - 1);
    return tokens_[index];
}

const Token& Parser::next() {
    const Token& token = peek();
    if (at_ < tokens_.size() - 1)
        ++at_;
    return token;
}

bool Parser::is(const char* spelling, size_t ahead) const {
    const Token& token = peek(ahead);
    return (token.kind == TokKind::Punct || token.kind == TokKind::Keyword) &&
           token.text == spelling;
}

bool Parser::accept(const char* spelling) {
    if (!is(spelling))
        return false;
    next();
    return true;
}

const Token& Parser::expect(const char* spelling) {
    if (!is(spelling))
        error_here(std::string("expected '") + spelling + "'");
    return next();
}

std::string Parser::expect_identifier() {
    if (peek().kind != TokKind::Ident)
        error_here("expected identifier");
    return next().text;
}

void Parser::error_here(const std::string& message) const {
    const Token& token = peek();
    if (token.kind == TokKind::End)
        fail(token.pos, message + " at end of input");
    fail(token.pos, message + " before '" + token.text + "'");
}

Parser::Entity* Parser::lookup(const std::string& name) {
    for (auto scope = scopes_.rbegin(); scope != scopes_.rend(); ++scope) {
        auto found = scope->names.find(name);
        if (found != scope->names.end())
            return &found->second;
    }
    return nullptr;
}

CType* Parser::lookup_tag(const std::string& name) {
    for (auto scope = scopes_.rbegin(); scope != scopes_.rend(); ++scope) {
        auto found = scope->tags.find(name);
        if (found != scope->tags.end())
            return found->second;
    }
    return nullptr;
}

// ---- Specifiers ---------------------------------------------------------------------------------

bool Parser::starts_type(size_t ahead) const {
    const Token& token = peek(ahead);
    if (token.kind == TokKind::Ident) {
        auto* self = const_cast<Parser*>(this);
        Entity* entity = self->lookup(token.text);
        return entity != nullptr && entity->what == Entity::What::Typedef;
    }
    if (token.kind != TokKind::Keyword)
        return false;
    static const std::set<std::string> words = {
        "void",     "char",       "short",      "int",     "long",         "float",      "double",
        "signed",   "unsigned",   "struct",     "union",   "enum",         "const",      "volatile",
        "typedef",  "extern",     "static",     "auto",    "register",     "inline",     "restrict",
        "__inline", "__inline__", "__restrict", "__const", "__volatile__", "__signed__", "_Bool"};
    return words.contains(token.text);
}

Parser::DeclSpec Parser::parse_decl_specifiers() {
    DeclSpec specifiers;
    specifiers.pos = peek().pos;
    unsigned quals = 0;
    int shorts = 0, longs = 0, ints = 0, chars = 0, signs = 0, unsigneds = 0, voids = 0, floats = 0,
        doubles = 0;
    CType* named = nullptr;
    while (true) {
        const Token& token = peek();
        if (token.kind == TokKind::Ident) {
            Entity* entity = lookup(token.text);
            const bool have_type = named != nullptr || shorts || longs || ints || chars || signs ||
                                   unsigneds || voids || floats || doubles;
            if (entity == nullptr || entity->what != Entity::What::Typedef || have_type)
                break;
            named = entity->type;
            next();
            continue;
        }
        if (token.kind != TokKind::Keyword)
            break;
        const std::string& word = token.text;
        if (word == "typedef" || word == "extern" || word == "static" || word == "auto" ||
            word == "register") {
            if (!specifiers.storage.empty())
                fail(token.pos, "multiple storage classes in declaration specifiers");
            specifiers.storage = word;
        } else if (word == "inline" || word == "__inline" || word == "__inline__") {
            specifiers.is_inline = true;
        } else if (word == "const" || word == "__const") {
            quals |= Q_CONST;
        } else if (word == "volatile" || word == "__volatile__") {
            quals |= Q_VOLATILE;
        } else if (word == "restrict" || word == "__restrict") {
        } else if (word == "short") {
            ++shorts;
        } else if (word == "long") {
            ++longs;
        } else if (word == "int") {
            ++ints;
        } else if (word == "char") {
            ++chars;
        } else if (word == "signed" || word == "__signed__") {
            ++signs;
        } else if (word == "unsigned") {
            ++unsigneds;
        } else if (word == "void") {
            ++voids;
        } else if (word == "float") {
            ++floats;
        } else if (word == "double") {
            ++doubles;
        } else if (word == "struct") {
            next();
            named = parse_struct(token.pos);
            continue;
        } else if (word == "union") {
            fail(token.pos, "unions are not supported");
        } else if (word == "enum") {
            next();
            named = parse_enum(token.pos);
            continue;
        } else if (word == "_Bool") {
            fail(token.pos, "_Bool is not supported");
        } else {
            break;
        }
        next();
    }
    const bool any =
        shorts || longs || ints || chars || signs || unsigneds || voids || floats || doubles;
    CType* type = named;
    if (named != nullptr && any)
        fail(specifiers.pos, "two or more data types in declaration specifiers");
    if (type == nullptr) {
        if (!any && specifiers.storage.empty() && quals == 0 && !specifiers.is_inline)
            error_here("expected declaration specifiers");
        const bool is_unsigned = unsigneds > 0;
        if ((signs && unsigneds) || shorts > 1 || longs > 2 || chars > 1 || voids > 1 ||
            (shorts && (longs || chars)) ||
            (voids &&
             (shorts || longs || ints || chars || signs || unsigneds || floats || doubles)))
            fail(specifiers.pos, "invalid combination of type specifiers");
        if (voids)
            type = program_.types.void_type();
        else if (floats)
            type = program_.types.floating(0);
        else if (doubles)
            type = program_.types.floating(longs ? 2 : 1);
        else if (chars)
            type = program_.types.integer(is_unsigned ? IntKind::UChar : IntKind::Char);
        else if (shorts)
            type = program_.types.integer(is_unsigned ? IntKind::UShort : IntKind::Short);
        else if (longs == 1)
            type = program_.types.integer(is_unsigned ? IntKind::ULong : IntKind::Long);
        else if (longs == 2)
            type = program_.types.integer(is_unsigned ? IntKind::ULLong : IntKind::LLong);
        else
            type = program_.types.integer(is_unsigned ? IntKind::UInt : IntKind::Int);
    }
    specifiers.type = program_.types.qualified(type, quals);
    return specifiers;
}

CType* Parser::parse_struct(SourcePos pos) {
    std::string tag;
    SourcePos tag_pos = peek().pos;
    if (peek().kind == TokKind::Ident)
        tag = next().text;
    if (!is("{")) {
        if (tag.empty())
            error_here("expected '{'");
        if (CType* known = lookup_tag(tag)) {
            check_tag_kind(known, false, tag, tag_pos);
            return known;
        }
        CType* type = program_.types.new_struct(tag, tag_pos);
        scopes_.front().tags[tag] = type; // an incomplete struct is completed later
        return type;
    }
    CType* type = tag_in_innermost_scope(tag, tag_pos, false);
    if (type == nullptr) {
        type = program_.types.new_struct(tag, tag.empty() ? pos : tag_pos);
        if (!tag.empty())
            scopes_.back().tags[tag] = type;
    }
    expect("{");
    StructInfo& info = *type->info;
    while (!accept("}")) {
        DeclSpec specifiers = parse_decl_specifiers();
        if (!specifiers.storage.empty())
            fail(specifiers.pos, "storage class in a structure member");
        do {
            Declarator member = parse_declarator(specifiers.type, false);
            if (is(":"))
                fail(peek().pos, "bit-fields are not supported");
            if (!member.type->is_complete())
                fail(member.pos, "field '" + member.name + "' has incomplete type");
            if (info.find(member.name) != nullptr)
                fail(member.pos, "duplicate member '" + member.name + "'");
            info.fields.push_back({member.name, member.type, 0, member.pos});
        } while (accept(","));
        expect(";");
    }
    if (info.fields.empty())
        fail(pos, "struct has no members");
    lay_out_struct(info);
    return type;
}

// Struct and enum tags share one name space.
// The tag's type when the innermost scope declared it already; defining it
// again there is an error once it is complete.
CType* Parser::tag_in_innermost_scope(const std::string& tag, SourcePos tag_pos, bool want_enum) {
    if (tag.empty())
        return nullptr;
    auto found = scopes_.back().tags.find(tag);
    if (found == scopes_.back().tags.end())
        return nullptr;
    CType* type = found->second;
    check_tag_kind(type, want_enum, tag, tag_pos);
    const bool complete = want_enum ? type->enum_info->complete : type->info->complete;
    if (complete)
        fail(tag_pos,
             std::string("redefinition of '") + (want_enum ? "enum " : "struct ") + tag + "'");
    return type;
}

void Parser::check_tag_kind(CType* type, bool want_enum, const std::string& tag,
                            SourcePos pos) const {
    if (type->is_enum() != want_enum)
        fail(pos, "'" + tag + "' defined as wrong kind of tag");
}

// An enum gets its own type, an int that keeps the tag and the enumerators;
// the enumerators themselves are int constants, as in C.
CType* Parser::parse_enum(SourcePos pos) {
    std::string tag;
    SourcePos tag_pos = pos;
    if (peek().kind == TokKind::Ident) {
        tag_pos = peek().pos;
        tag = next().text;
    }
    if (!is("{")) {
        if (tag.empty())
            error_here("expected '{'");
        if (CType* known = lookup_tag(tag)) {
            check_tag_kind(known, true, tag, tag_pos);
            return known;
        }
        CType* type = program_.types.new_enum(tag, tag_pos);
        scopes_.back().tags[tag] = type; // a forward reference, completed later
        return type;
    }
    CType* type = tag_in_innermost_scope(tag, tag_pos, true);
    if (type == nullptr) {
        type = program_.types.new_enum(tag, tag_pos);
        if (!tag.empty())
            scopes_.back().tags[tag] = type;
    }
    expect("{");
    EnumInfo& info = *type->enum_info;
    int64_t value = 0;
    while (!accept("}")) {
        const SourcePos name_pos = peek().pos;
        const std::string name = expect_identifier();
        if (accept("="))
            value = parse_constant_expression();
        if (value < -32768 || value > 32767)
            fail(name_pos,
                 "enumerator value for '" + name + "' is not an integer constant of int's range");
        if (scopes_.back().names.contains(name))
            fail(name_pos, "redeclaration of '" + name + "'");
        Entity entity;
        entity.what = Entity::What::Constant;
        entity.value = value;
        entity.type = program_.types.int_type();
        scopes_.back().names[name] = entity;
        info.enumerators.push_back({name, value});
        info.positions.push_back(name_pos);
        ++value;
        if (!accept(",")) {
            expect("}");
            break;
        }
    }
    if (info.enumerators.empty())
        fail(pos, "empty enum is invalid");
    info.complete = true;
    return type;
}

// ---- Declarators
// ----------------------------------------------------------------------------------

Parser::Declarator Parser::parse_declarator(CType* base, bool allow_abstract) {
    Declarator result;
    result.pos = peek().pos;
    CType* type = base;
    while (accept("*")) {
        unsigned quals = 0;
        while (true) {
            if (accept("const") || accept("__const"))
                quals |= Q_CONST;
            else if (accept("volatile") || accept("__volatile__"))
                quals |= Q_VOLATILE;
            else if (accept("restrict") || accept("__restrict"))
                continue;
            else
                break;
        }
        type = program_.types.qualified(program_.types.pointer_to(type), quals);
    }
    // A parenthesized declarator binds tighter than the suffixes after it:
    // parse the suffixes first, then the inner declarator over them.
    if (is("(") && !starts_type(1) && !is(")", 1)) {
        next();
        const size_t inner = at_;
        int depth = 1;
        while (depth > 0) {
            const Token& token = next();
            if (token.kind == TokKind::End)
                fail(token.pos, "unbalanced parentheses in declarator");
            if (token.kind == TokKind::Punct && token.text == "(")
                ++depth;
            if (token.kind == TokKind::Punct && token.text == ")")
                --depth;
        }
        CType* outer = parse_declarator_suffixes(type, nullptr);
        const size_t after = at_;
        at_ = inner;
        Declarator nested = parse_declarator(outer, allow_abstract);
        expect(")");
        at_ = after;
        return nested;
    }
    if (peek().kind == TokKind::Ident) {
        result.pos = peek().pos;
        result.name = next().text;
    } else if (!allow_abstract) {
        error_here("expected identifier or '('");
    }
    result.type = parse_declarator_suffixes(type, &result);
    return result;
}

CType* Parser::parse_declarator_suffixes(CType* base, Declarator* owner) {
    struct Suffix {
        bool is_array = true;
        int64_t count = -1;
        std::vector<ParamDecl> params;
        bool variadic = false;
        bool prototyped = true;
        SourcePos pos;
    };
    std::vector<Suffix> suffixes;
    while (true) {
        Suffix suffix;
        suffix.pos = peek().pos;
        if (accept("[")) {
            if (!is("]")) {
                suffix.count = parse_constant_expression();
                if (suffix.count <= 0)
                    fail(suffix.pos, "size of array is not positive");
            }
            expect("]");
        } else if (accept("(")) {
            suffix.is_array = false;
            suffix.params = parse_parameters(suffix.variadic, suffix.prototyped);
            if (owner != nullptr && !owner->has_params && suffixes.empty()) {
                owner->params = suffix.params;
                owner->has_params = true;
                owner->params_end = peek().pos;
            }
            expect(")");
        } else {
            break;
        }
        suffixes.push_back(std::move(suffix));
    }
    CType* type = base;
    for (auto it = suffixes.rbegin(); it != suffixes.rend(); ++it) {
        if (it->is_array) {
            if (type->kind == Kind::Function)
                fail(it->pos, "declaration of an array of functions");
            if (!type->is_complete())
                fail(it->pos, "array type has incomplete element type");
            type = program_.types.array_of(type, it->count);
        } else {
            if (type->kind == Kind::Function || type->kind == Kind::Array)
                fail(it->pos, "function returning an array or a function");
            std::vector<CType*> params;
            std::vector<std::string> names;
            for (const ParamDecl& param : it->params) {
                params.push_back(param.type);
                names.push_back(param.name);
            }
            type = program_.types.function(type, params, names, it->variadic, it->prototyped);
        }
    }
    return type;
}

std::vector<Parser::ParamDecl> Parser::parse_parameters(bool& variadic, bool& prototyped) {
    std::vector<ParamDecl> params;
    if (is(")")) {
        prototyped = false;
        return params;
    }
    if (is("void") && is(")", 1)) {
        next();
        return params;
    }
    do {
        if (accept("...")) {
            variadic = true;
            break;
        }
        if (!starts_type())
            error_here("old-style parameter lists are not supported; expected a type");
        DeclSpec specifiers = parse_decl_specifiers();
        Declarator declarator = parse_declarator(specifiers.type, true);
        CType* type = declarator.type;
        // Parameters of array and function type are pointers.
        if (type->kind == Kind::Array)
            type = program_.types.pointer_to(type->target);
        else if (type->kind == Kind::Function)
            type = program_.types.pointer_to(type);
        if (type->is_void())
            fail(declarator.pos, "parameter has void type");
        params.push_back({declarator.name, type, declarator.pos});
    } while (accept(","));
    return params;
}

CType* Parser::parse_type_name() {
    DeclSpec specifiers = parse_decl_specifiers();
    if (!specifiers.storage.empty())
        fail(specifiers.pos, "storage class in a type name");
    return parse_declarator(specifiers.type, true).type;
}

int64_t Parser::parse_constant_expression() {
    const SourcePos pos = peek().pos;
    Node* value = parse_conditional();
    if (!Semantics::is_constant(value) || !value->type->is_integer())
        fail(pos, "expression is not an integer constant");
    return value->value;
}

// ---- File scope
// ------------------------------------------------------------------------------------

void Parser::parse_translation_unit() {
    while (peek().kind != TokKind::End) {
        if (accept(";"))
            continue;
        parse_external_declaration();
    }
    for (Symbol* symbol : program_.globals)
        if (symbol->type->kind == Kind::Function && symbol->storage == SC_STATIC &&
            !symbol->defined)
            fail(symbol->pos, "static function '" + symbol->name + "' is used but never defined");
}

void Parser::parse_external_declaration() {
    DeclSpec specifiers = parse_decl_specifiers();
    if (accept(";"))
        return;
    bool first = true;
    do {
        Declarator declarator = parse_declarator(specifiers.type, false);
        if (first && declarator.type->kind == Kind::Function && is("{")) {
            parse_function_definition(specifiers, declarator);
            return;
        }
        first = false;
        if (specifiers.storage == "typedef") {
            define_typedef(declarator);
            continue;
        }
        if (specifiers.storage == "auto" || specifiers.storage == "register")
            fail(declarator.pos, "file-scope declaration of '" + declarator.name + "' specifies '" +
                                     specifiers.storage + "'");
        const bool has_init = is("=");
        if (has_init && declarator.type->kind == Kind::Function)
            fail(declarator.pos,
                 "function '" + declarator.name + "' is initialized like a variable");
        const bool defines =
            declarator.type->kind != Kind::Function && (has_init || specifiers.storage != "extern");
        if (has_init) {
            next();
            Init init = parse_initializer();
            declarator.type = complete_array(declarator.type, init);
            Symbol* symbol = declare_global(specifiers, declarator, true);
            if (symbol->has_initializer)
                fail(declarator.pos, "redefinition of '" + declarator.name + "'");
            initialize_global(symbol, init);
        } else {
            declare_global(specifiers, declarator, defines);
        }
    } while (accept(","));
    expect(";");
}

void Parser::define_typedef(const Declarator& declarator) {
    Entity entity;
    entity.what = Entity::What::Typedef;
    entity.type = declarator.type;
    auto& names = scopes_.back().names;
    auto found = names.find(declarator.name);
    if (found != names.end() && (found->second.what != Entity::What::Typedef ||
                                 !same_type(found->second.type, entity.type)))
        fail(declarator.pos, "conflicting types for '" + declarator.name + "'");
    names[declarator.name] = entity;
}

// A global, or a redeclaration of one: the storage class says whether it is
// defined here (2, or 3 for static) or only referenced (5).
Symbol* Parser::declare_global(const DeclSpec& specifiers, const Declarator& declarator,
                               bool defines) {
    CType* type = declarator.type;
    const bool is_function = type->kind == Kind::Function;
    if (is_function && specifiers.is_inline)
        type = program_.types.qualified(type, Q_INLINE);
    if (!is_function && defines && !type->is_complete() && type->kind != Kind::Array)
        fail(declarator.pos, "storage size of '" + declarator.name + "' isn't known");
    if (type->is_void())
        fail(declarator.pos, "variable '" + declarator.name + "' declared void");
    auto& names = scopes_.front().names;
    auto found = names.find(declarator.name);
    Symbol* symbol = nullptr;
    if (found != names.end()) {
        if (found->second.what != Entity::What::Object)
            fail(declarator.pos,
                 "'" + declarator.name + "' redeclared as a different kind of symbol");
        symbol = found->second.symbol;
        if (!same_type(symbol->type, type))
            fail(declarator.pos, "conflicting types for '" + declarator.name + "'");
        if (type->kind == Kind::Array && type->count >= 0)
            symbol->type = type;
        if (specifiers.is_inline && is_function)
            symbol->type = type;
        if (specifiers.storage == "static" && symbol->storage != SC_STATIC)
            fail(declarator.pos,
                 "static declaration of '" + declarator.name + "' follows non-static declaration");
    } else {
        symbol = program_.symbol();
        symbol->name = declarator.name;
        symbol->type = type;
        symbol->pos = declarator.pos;
        symbol->level = 0;
        symbol->storage = specifiers.storage == "static" ? SC_STATIC : SC_EXTERN_REF;
        symbol->index = static_cast<int>(program_.globals.size());
        if (is_function)
            symbol->attributes.push_back({ATTR_LANGUAGE, {"C"}});
        program_.globals.push_back(symbol);
        Entity entity;
        entity.symbol = symbol;
        entity.type = type;
        names[declarator.name] = entity;
    }
    if (defines) {
        symbol->defined = true;
        if (symbol->storage == SC_EXTERN_REF)
            symbol->storage = SC_EXTERN_DEF;
        if (!is_function && !symbol->type->is_complete())
            fail(declarator.pos, "array size missing in '" + declarator.name + "'");
    }
    return symbol;
}

void Parser::parse_function_definition(const DeclSpec& specifiers, Declarator& declarator) {
    if (!declarator.has_params)
        fail(declarator.pos, "function definition without a parameter list");
    if (!declarator.type->prototyped && !declarator.params.empty())
        fail(declarator.pos, "old-style function definitions are not supported");
    Symbol* symbol = declare_global(specifiers, declarator, true);
    if (!program_.functions.empty())
        for (const Function& done : program_.functions)
            if (done.symbol == symbol)
                fail(declarator.pos, "redefinition of '" + declarator.name + "'");
    CType* result = declarator.type->target;
    if (!result->is_void() && !result->is_complete())
        fail(declarator.pos, "return type is an incomplete type");

    program_.functions.emplace_back();
    Function& function = program_.functions.back();
    function.symbol = symbol;
    function.begin = declarator.pos;
    function.params_end = declarator.params_end;
    function_ = &function;
    label_count_ = 0;
    user_labels_.clear();
    sema_.start_function();

    open_scope();
    for (const ParamDecl& param : declarator.params) {
        if (param.name.empty())
            fail(param.pos, "parameter name omitted");
        if (!param.type->is_complete())
            fail(param.pos, "parameter '" + param.name + "' has incomplete type");
        Symbol* local = program_.symbol();
        local->name = param.name;
        local->type = param.type;
        local->storage = SC_PARAM;
        local->level = 1;
        local->pos = param.pos;
        local->defined = true;
        function.params.push_back(local);
        Entity entity;
        entity.symbol = local;
        entity.type = param.type;
        if (scopes_.back().names.contains(param.name))
            fail(param.pos, "redefinition of parameter '" + param.name + "'");
        scopes_.back().names[param.name] = entity;
    }
    function.body = program_.block();
    parse_compound(function.body);
    close_scope();
    function.end = function.body->end;

    // Falling off the end returns; main returns 0 as C99 says.
    if (symbol->name == "main" && result->is_integer()) {
        Node* zero = sema_.icon(result, 0);
        Node* ret = program_.node("RETURN", result->unqualified);
        ret->kids = {zero, program_.node("NOP", nullptr)};
        function.body->items.push_back({Item::What::Statement, ret, 0, function.end, nullptr});
    } else if (result->is_void()) {
        Node* ret = program_.node("URETURN", nullptr);
        ret->kids = {program_.node("NOP", nullptr)};
        function.body->items.push_back({Item::What::Statement, ret, 0, function.end, nullptr});
    }
    for (const auto& [name, label] : user_labels_)
        if (!label.defined)
            fail(label.first_use, "label '" + name + "' used but not defined");
    function_ = nullptr;
}

// ---- Block scope
// --------------------------------------------------------------------------------------

void Parser::parse_local_declaration() {
    DeclSpec specifiers = parse_decl_specifiers();
    if (accept(";"))
        return;
    do {
        Declarator declarator = parse_declarator(specifiers.type, false);
        if (specifiers.storage == "typedef")
            define_typedef(declarator);
        else
            declare_local(specifiers, declarator);
    } while (accept(","));
    expect(";");
}

void Parser::declare_local(const DeclSpec& specifiers, Declarator& declarator) {
    auto& names = scopes_.back().names;
    if (names.contains(declarator.name))
        fail(declarator.pos, "redeclaration of '" + declarator.name + "'");
    Entity entity;
    if (declarator.type->kind == Kind::Function || specifiers.storage == "extern") {
        if (is("="))
            fail(declarator.pos, "'" + declarator.name + "' has both 'extern' and initializer");
        // Refers to the file-scope entity of that name.
        DeclSpec global = specifiers;
        global.storage = "extern";
        Symbol* symbol = declare_global(global, declarator, false);
        entity.symbol = symbol;
        entity.type = symbol->type;
        scopes_.back().names[declarator.name] = entity;
        return;
    }
    Init init;
    const bool has_init = accept("=");
    if (has_init) {
        init = parse_initializer();
        declarator.type = complete_array(declarator.type, init);
    }
    if (!declarator.type->is_complete())
        fail(declarator.pos, "storage size of '" + declarator.name + "' isn't known");
    Symbol* symbol = program_.symbol();
    symbol->name = declarator.name;
    symbol->type = declarator.type;
    symbol->pos = declarator.pos;
    symbol->defined = true;
    entity.symbol = symbol;
    entity.type = symbol->type;
    if (specifiers.storage == "static") {
        // A function-local static lives with the globals under a name of
        // its own and says which function it belongs to.
        std::string unique = declarator.name;
        for (int n = 1; scopes_.front().names.contains(unique); ++n)
            unique = declarator.name + "$" + std::to_string(n);
        symbol->name = unique;
        symbol->storage = SC_STATIC;
        symbol->level = 0;
        symbol->index = static_cast<int>(program_.globals.size());
        symbol->attributes.push_back({ATTR_LOCAL_STATIC_OF, {function_->symbol->name}});
        program_.globals.push_back(symbol);
        names[declarator.name] = entity;
        if (has_init)
            initialize_global(symbol, init);
        return;
    }
    symbol->storage = SC_AUTO;
    block_->symbols.push_back(symbol);
    // The initializer sees the variable (int x = sizeof x;).
    names[declarator.name] = entity;
    if (has_init)
        initialize_local(symbol, init);
}

// ---- Initializers
// ------------------------------------------------------------------------------------

Parser::Init Parser::parse_initializer() {
    Init init;
    init.pos = peek().pos;
    if (accept("{")) {
        init.braced = true;
        while (!accept("}")) {
            init.list.push_back(parse_initializer());
            if (!accept(",")) {
                expect("}");
                break;
            }
        }
        return init;
    }
    // A lone string literal may initialize a character array.
    size_t ahead = 0;
    while (peek(ahead).kind == TokKind::StringLit)
        ++ahead;
    if (ahead > 0 && (is(",", ahead) || is("}", ahead) || is(";", ahead))) {
        init.is_string = true;
        for (size_t k = 0; k < ahead; ++k)
            init.bytes += next().text;
        init.expr = nullptr;
        return init;
    }
    init.expr = parse_assignment();
    return init;
}

CType* Parser::complete_array(CType* type, const Init& init) {
    if (type->kind != Kind::Array || type->count >= 0)
        return type;
    int64_t count = 0;
    if (init.is_string) {
        count = static_cast<int64_t>(init.bytes.size()) + 1;
    } else if (init.braced) {
        if (init.list.size() == 1 && init.list[0].is_string && type->target->is_integer())
            count = static_cast<int64_t>(init.list[0].bytes.size()) + 1;
        else {
            // Count the elements the list fills, braces elided or not.
            size_t i = 0;
            std::vector<PathStep> path;
            const InitSink ignore = [](CType*, const Init*, const std::vector<PathStep>&) {};
            while (i < init.list.size()) {
                walk_initializer(type->target, init.list, i, path, ignore, init.pos);
                ++count;
            }
        }
    } else {
        fail(init.pos, "invalid initializer for an array");
    }
    if (count == 0)
        fail(init.pos, "zero-size array");
    return program_.types.array_of(type->target, count);
}

// Initializes one object of `type` from items[i...], taking one item when
// it is braced (or a string for a character array) and as many as the
// object has scalars otherwise.  The sink gets every scalar (nullptr value:
// zero) and every character array set from a string.
void Parser::walk_initializer(CType* type, const std::vector<Init>& items, size_t& i,
                              std::vector<PathStep>& path, const InitSink& sink, SourcePos pos) {
    const Init* item = i < items.size() ? &items[i] : nullptr;
    if (type->kind == Kind::Array || type->kind == Kind::Struct) {
        const bool char_array =
            type->kind == Kind::Array && type->target->is_integer() && type->target->bits() == 16;
        if (item != nullptr && item->is_string && char_array) {
            if (static_cast<int64_t>(item->bytes.size()) > type->count)
                fail(item->pos, "initializer-string for array is too long");
            sink(type, item, path);
            ++i;
            return;
        }
        if (item != nullptr && item->braced) {
            if (char_array && item->list.size() == 1 && item->list[0].is_string) {
                sink(type, &item->list[0], path);
            } else {
                size_t j = 0;
                walk_aggregate(type, item->list, j, path, sink, item->pos);
                if (j < item->list.size())
                    fail(item->list[j].pos, "excess elements in initializer");
            }
            ++i;
            return;
        }
        if (item != nullptr && item->expr != nullptr && type->kind == Kind::Struct &&
            item->expr->type->is_struct()) {
            sink(type, item, path); // a whole structure value
            ++i;
            return;
        }
        walk_aggregate(type, items, i, path, sink, pos);
        return;
    }
    if (item == nullptr) {
        sink(type, nullptr, path);
        return;
    }
    ++i;
    if (item->braced) {
        if (item->list.size() != 1 || item->list[0].braced)
            fail(item->pos, "invalid initializer for a scalar");
        sink(type, &item->list[0], path);
        return;
    }
    sink(type, item, path); // a string here initializes a pointer
}

void Parser::walk_aggregate(CType* type, const std::vector<Init>& items, size_t& i,
                            std::vector<PathStep>& path, const InitSink& sink, SourcePos pos) {
    if (type->kind == Kind::Array) {
        for (int64_t k = 0; k < type->count; ++k) {
            path.push_back({true, k});
            walk_initializer(type->target, items, i, path, sink, pos);
            path.pop_back();
        }
        return;
    }
    const StructInfo& info = *type->info;
    for (size_t k = 0; k < info.fields.size(); ++k) {
        path.push_back({false, static_cast<int64_t>(k)});
        walk_initializer(info.fields[k].type, items, i, path, sink, pos);
        path.pop_back();
    }
}

void Parser::initialize_global(Symbol* symbol, const Init& init) {
    symbol->has_initializer = true;
    std::vector<Init> items{init};
    size_t i = 0;
    std::vector<PathStep> path;
    walk_initializer(
        symbol->type, items, i, path,
        [&](CType* type, const Init* value, const std::vector<PathStep>&) {
            symbol->initializer.push_back(constant_value(type, value));
        },
        init.pos);
}

// The initializer value of one scalar (or of a character array from a
// string): a constant, or an address constant in canonical form.
Node* Parser::constant_value(CType* type, const Init* value) {
    if (type->kind == Kind::Array) {
        Node* node = program_.node("SCON", type->unqualified);
        node->bytes = value->bytes;
        node->bytes.resize(static_cast<size_t>(type->count), '\0');
        return node;
    }
    if (type->kind == Kind::Struct)
        fail(value->pos, "initializer element is not constant");
    if (value == nullptr)
        return type->kind == Kind::Float ? sema_.fcon(type, 0) : sema_.icon(type, 0);
    Node* expr = value->is_string ? sema_.string_literal(value->bytes, value->pos) : value->expr;
    Node* converted = sema_.assign_convert(expr, type, value->pos, "initialization");
    if (converted->op == "ICON" || converted->op == "FCON")
        return converted;
    if (type->kind == Kind::Pointer || type->kind == Kind::Int)
        if (Node* address = address_constant(converted, type, value->pos))
            return address;
    fail(value->pos, "initializer element is not constant");
}

namespace {

// The symbol and word offset an address expression denotes, if constant.
bool lvalue_address(Node* node, Symbol*& symbol, int64_t& words);

bool pointer_value(Node* node, Symbol*& symbol, int64_t& words) {
    if (node->op == "UAND")
        return lvalue_address(node->kids[0], symbol, words);
    if (node->op == "PCONV")
        return node->kids[0]->type->kind == Kind::Pointer &&
               pointer_value(node->kids[0], symbol, words);
    if ((node->op == "PLUS" || node->op == "MINUS") && node->kids[1]->op == "ICON") {
        if (!pointer_value(node->kids[0], symbol, words))
            return false;
        words += node->op == "PLUS" ? node->kids[1]->value : -node->kids[1]->value;
        return true;
    }
    return false;
}

bool lvalue_address(Node* node, Symbol*& symbol, int64_t& words) {
    if (node->op == "NAME" && node->symbol->level == 0 && node->symbol->storage != SC_AUTO) {
        symbol = node->symbol;
        words = 0;
        return true;
    }
    if (node->op == "UMULT")
        return pointer_value(node->kids[0], symbol, words);
    if (node->op == "STDOT" || node->op == "STREF") {
        const bool ok = node->op == "STDOT" ? lvalue_address(node->kids[0], symbol, words)
                                            : pointer_value(node->kids[0], symbol, words);
        if (!ok)
            return false;
        const Node* field = node->kids[1];
        words += field->container->info->fields[static_cast<size_t>(field->value2)].offset / 16;
        return true;
    }
    return false;
}

} // namespace

Node* Parser::address_constant(Node* node, CType* type, SourcePos) {
    Symbol* symbol = nullptr;
    int64_t words = 0;
    if (!pointer_value(node, symbol, words))
        return nullptr;
    Node* name = sema_.name(symbol);
    CType* pointer =
        type->kind == Kind::Pointer ? type->unqualified : program_.types.pointer_to(symbol->type);
    if (words == 0) {
        Node* address = program_.node("UAND", pointer);
        address->kids = {name};
        return address;
    }
    Node* address = program_.node("UAND", program_.types.pointer_to(symbol->type));
    address->kids = {name};
    CType* offset_type = words >= -32768 && words <= 32767 ? program_.types.int_type()
                                                           : program_.types.integer(IntKind::Long);
    Node* sum = program_.node("PLUS", pointer);
    sum->kids = {address, sema_.icon(offset_type, words)};
    return sum;
}

// A local initializer becomes assignments, one per scalar, at the
// declaration's position; elements without a value are set to zero.
void Parser::initialize_local(Symbol* symbol, const Init& init) {
    std::vector<Init> items{init};
    size_t i = 0;
    std::vector<PathStep> path;
    const SourcePos pos = symbol->pos;
    walk_initializer(
        symbol->type, items, i, path,
        [&](CType* type, const Init* value, const std::vector<PathStep>& steps) {
            Node* target = sema_.name(symbol);
            for (const PathStep& step : steps) {
                if (step.is_index)
                    target = sema_.index(target,
                                         sema_.icon(program_.types.int_type(), step.position), pos);
                else
                    target = sema_.member(
                        target, target->type->info->fields[static_cast<size_t>(step.position)].name,
                        false, pos);
            }
            if (type->kind == Kind::Array) {
                std::string bytes = value->bytes;
                bytes.resize(static_cast<size_t>(type->count), '\0');
                for (size_t k = 0; k < bytes.size(); ++k) {
                    Node* element = sema_.index(
                        target, sema_.icon(program_.types.int_type(), static_cast<int64_t>(k)),
                        pos);
                    Node* byte =
                        sema_.icon(program_.types.int_type(), static_cast<signed char>(bytes[k]));
                    emit(sema_.assign("=", element, byte, pos), pos);
                }
                return;
            }
            Node* node =
                value == nullptr
                    ? (type->kind == Kind::Float
                           ? sema_.fcon(type, 0)
                           : sema_.icon(
                                 type->kind == Kind::Pointer ? program_.types.int_type() : type, 0))
                : value->is_string ? sema_.string_literal(value->bytes, value->pos)
                                   : value->expr;
            // Initializing a const object is not an assignment to it.
            const unsigned quals = target->type->quals;
            if (quals & Q_CONST) {
                target->type = target->type->unqualified;
            }
            emit(sema_.assign("=", target, node, value ? value->pos : pos), pos);
        },
        init.pos);
}

} // namespace vx::cfront
