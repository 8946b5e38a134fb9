#include "cfront/emitter.h"

#include "icode/text/text_lexer.h"

#include <cstdio>
#include <map>
#include <sstream>

namespace vx::cfront {

namespace {

using vx::icode::text::quote;

std::string position(SourcePos pos) {
    if (pos.file == 0)
        return "";
    return " @" + std::to_string(pos.file) + ":" + std::to_string(pos.line) + ":" +
           std::to_string(pos.column);
}

// Gives every type used a number and writes its records, the types it is
// built on first (a struct's header comes before the types of its fields so
// that a field may point back at it).
class TypeWriter {
public:
    // `underlying` is the int every enum is written over.
    explicit TypeWriter(CType* underlying) : underlying_(underlying) {}

    int number(CType* type) {
        auto found = numbers_.find(type);
        if (found != numbers_.end())
            return found->second;
        if (type->quals != 0)
            return qualified(type);
        if (type->is_enum())
            return enumeration(type);
        switch (type->kind) {
        case Kind::Function:
            return function(type);
        case Kind::Struct:
            return structure(type);
        case Kind::Pointer: {
            const int target = number(type->target);
            return record(type, "ptr " + std::to_string(target) + " size=32 align=32");
        }
        case Kind::Array: {
            const int element = number(type->target);
            const bool complete = type->count >= 0;
            return record(type, "array " + std::to_string(element) + " " +
                                    std::to_string(complete ? type->count : 0) +
                                    " size=" + std::to_string(type->bits()) +
                                    " align=" + std::to_string(type->align()) +
                                    (complete ? " complete=1" : ""));
        }
        default:
            return record(type, basic_fields(type));
        }
    }

    const std::string& text() const { return out_; }

private:
    int reserve(CType* type) {
        const int n = next_++;
        numbers_[type] = n;
        return n;
    }

    int record(CType* type, const std::string& fields) {
        const int n = reserve(type);
        line(n, fields);
        return n;
    }

    void line(int n, const std::string& fields) {
        out_ += "type " + std::to_string(n) + " " + fields + "\n";
    }

    static std::string basic_fields(const CType* type) {
        static const char* const ints[] = {"char", "uchar", "short", "ushort", "int",
                                           "uint", "long",  "ulong", "llong",  "ullong"};
        static const char* const floats[] = {"float", "double", "ldouble"};
        const std::string size =
            " size=" + std::to_string(type->bits()) + " align=" + std::to_string(type->align());
        if (type->kind == Kind::Int)
            return std::string(ints[static_cast<int>(type->ikind)]) + " explicit=1" + size;
        if (type->kind == Kind::Float)
            return std::string(floats[type->fkind]) + size;
        return "void";
    }

    int qualified(CType* type) {
        const int base = number(type->unqualified);
        return record(type, "qual " + std::to_string(base) +
                                " quals=" + std::to_string(type->quals) +
                                " size=" + std::to_string(type->bits()) +
                                " align=" + std::to_string(type->align()));
    }

    int function(CType* type) {
        const int result = number(type->target);
        std::vector<int> params;
        for (CType* param : type->params)
            params.push_back(number(param));
        const int n =
            record(type, "func " + std::to_string(result) + (type->variadic ? " a1=1" : ""));
        line(n, "list 0");
        for (size_t i = 0; i < params.size(); ++i) {
            std::string fields = "param " + std::to_string(params[i]);
            if (i < type->param_names.size() && !type->param_names[i].empty())
                fields += " name=" + quote(type->param_names[i]);
            line(n, fields);
        }
        line(n, "endlist 0");
        return n;
    }

    // The underlying int comes first; the enumerators are the enum's list 1.
    int enumeration(CType* type) {
        const EnumInfo& info = *type->enum_info;
        const int under = number(underlying_);
        const int n = record(type, "enum " + quote(info.tag) + " size=16 align=16 under=" +
                                       std::to_string(under) + position(info.pos));
        if (!info.complete)
            return n;
        line(n, "list 1");
        for (size_t i = 0; i < info.enumerators.size(); ++i) {
            const auto& [name, value] = info.enumerators[i];
            line(n, "enumerator " + quote(name) + " " + std::to_string(value) +
                        position(info.positions[i]));
        }
        line(n, "endlist 1");
        return n;
    }

    int structure(CType* type) {
        const StructInfo& info = *type->info;
        std::string fields = "csu 0 " + quote(info.tag);
        if (info.complete)
            fields += " complete=1 size=" + std::to_string(info.size) +
                      " align=" + std::to_string(info.align);
        else
            fields += " align=16";
        const int n = record(type, fields + position(info.pos));
        if (!info.complete)
            return n;
        std::vector<int> members;
        for (const Field& field : info.fields)
            members.push_back(number(field.type));
        line(n, "list 7");
        for (size_t i = 0; i < info.fields.size(); ++i) {
            const Field& field = info.fields[i];
            line(n, "field " + std::to_string(i) + " " + quote(field.name) + " " +
                        std::to_string(members[i]) + " offset=" + std::to_string(field.offset) +
                        position(field.pos));
        }
        line(n, "endlist 7");
        return n;
    }

    CType* underlying_;
    std::map<CType*, int> numbers_;
    int next_ = 1;
    std::string out_;
};

std::string hex_float(const Node& node) {
    char buffer[64];
    if (node.type != nullptr && node.type->bits() > 32)
        std::snprintf(buffer, sizeof buffer, "%a", node.fvalue);
    else
        std::snprintf(buffer, sizeof buffer, "%a",
                      static_cast<double>(static_cast<float>(node.fvalue)));
    return buffer;
}

class Writer {
public:
    explicit Writer(Program& program) : program_(program), types_(program.types.int_type()) {}

    std::string run() {
        // Every enum is written, used or not, so that its enumerators are
        // in the file.
        for (CType* enumeration : program_.types.enums())
            types_.number(enumeration);
        std::string main;
        for (Function& function : program_.functions)
            main += function_text(function);
        std::string init;
        for (Symbol* symbol : program_.globals) {
            if (!symbol->has_initializer)
                continue;
            init += "init " + std::to_string(symbol->index) + "\n";
            for (Node* value : symbol->initializer)
                init += "  " + tree(*value) + "\n";
            init += "  (ENDINIT)\n";
        }
        std::string symbols;
        for (Symbol* symbol : program_.globals)
            symbols += symbol_text(*symbol, "");
        std::string out = "icode -73 600 " + quote(program_.main_file) + "\nsection main\n" + main;
        if (!init.empty())
            out += "\nsection init\n" + init;
        if (!types_.text().empty())
            out += "\nsection types\n" + types_.text();
        out += "\nsection files\n";
        for (const std::string& file : program_.files)
            out += "file " + quote(file) + "\n";
        out += "\nsection symbols\n" + symbols;
        return out;
    }

private:
    std::string symbol_text(Symbol& symbol, const std::string& indent) {
        std::string out = indent + "sym " + quote(symbol.name);
        const bool is_function = symbol.type->kind == Kind::Function;
        if (!is_function && symbol.type->bits() != 0)
            out += " size=" + std::to_string(symbol.type->bits());
        out += " class=" + std::to_string(symbol.storage) +
               " type=" + std::to_string(types_.number(symbol.type)) +
               " align=" + std::to_string(is_function ? 16 : symbol.type->align()) +
               position(symbol.pos) + "\n";
        for (const Attribute& attribute : symbol.attributes) {
            out += indent + "  attr " + std::to_string(attribute.id);
            for (const std::string& argument : attribute.arguments)
                out += " " + quote(argument);
            out += "\n";
        }
        return out;
    }

    std::string function_text(Function& function) {
        next_local_ = 0;
        std::string out =
            "func " + std::to_string(function.symbol->index) + position(function.begin) + "\n";
        for (Symbol* param : function.params) {
            param->index = next_local_++;
            param->level = 1;
            out += symbol_text(*param, "  ");
        }
        out += "  endparams" + position(function.params_end) + "\n";
        out += block_text(*function.body, "  ", 2, true);
        out += "endfunc" + position(function.end) + "\n";
        return out;
    }

    // Levels count the block records written: a nested block without
    // declarations writes none.
    std::string block_text(Block& block, const std::string& indent, int level, bool outermost) {
        std::string out;
        const bool own_records = outermost || !block.symbols.empty();
        std::string inner = indent;
        if (own_records && !outermost) {
            out += indent + "block" + position(block.begin) + "\n";
            inner += "  ";
        }
        for (Symbol* symbol : block.symbols) {
            symbol->index = next_local_++;
            symbol->level = level;
            out += symbol_text(*symbol, inner);
        }
        if (own_records)
            out += inner + "endlocals" + position(block.locals_end) + "\n";
        for (Item& item : block.items) {
            switch (item.what) {
            case Item::What::Statement:
                out += inner + "stmt" + position(item.pos) + " " + tree(*item.tree) + "\n";
                break;
            case Item::What::Label:
                out += inner + "label " + std::to_string(item.label) + "\n";
                break;
            case Item::What::Nested:
                out += block_text(*item.block, inner, own_records ? level + 1 : level, false);
                break;
            }
        }
        if (own_records && !outermost)
            out += indent + "endblock" + position(block.end) + "\n";
        return out;
    }

    std::string icon(const Node& node) {
        const bool is_signed = node.type != nullptr && !node.type->is_unsigned();
        const int64_t value = node.value;
        if (is_signed && value >= INT32_MIN && value <= INT32_MAX)
            return "ICON" + typed(node) + " " + std::to_string(value);
        if (!is_signed && static_cast<uint64_t>(value) <= UINT32_MAX)
            return "ICON" + typed(node) + " " + std::to_string(static_cast<uint64_t>(value));
        const std::string digits =
            is_signed ? std::to_string(value) : std::to_string(static_cast<uint64_t>(value));
        return "LCON" + typed(node) + " \"" + digits + "\"";
    }

    std::string typed(const Node& node) {
        return node.type == nullptr ? "" : ":" + std::to_string(types_.number(node.type));
    }

    std::string tree(const Node& node) {
        std::string out = "(";
        if (node.op == "ICON") {
            out += icon(node);
        } else {
            out += node.op + typed(node);
            if (node.op == "NAME")
                out += " " + std::to_string(node.symbol->level) + " " +
                       std::to_string(node.symbol->index);
            else if (node.op == "LABEL" || node.op == "SWITCH" || node.op == "UCALL")
                out += " " + std::to_string(node.value);
            else if (node.op == "CALL")
                out += " " + std::to_string(node.value) + " " + std::to_string(node.value2);
            else if (node.op == "FIELD")
                out += " 1 " + std::to_string(node.value2) + " " +
                       std::to_string(types_.number(node.container));
            else if (node.op == "SCON")
                out += " " + quote(node.bytes);
            else if (node.op == "FCON")
                out += " \"" + hex_float(node) + "\"";
        }
        for (const Node* kid : node.kids)
            out += " " + tree(*kid);
        return out + ")";
    }

    Program& program_;
    TypeWriter types_;
    int next_local_ = 0;
};

} // namespace

std::string emit_text(Program& program) {
    return Writer(program).run();
}

} // namespace vx::cfront
