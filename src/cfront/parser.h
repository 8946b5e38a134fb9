// The C parser: declarations, statements and expressions, building the
// program's symbols and statement trees through Semantics as it goes.
#pragma once

#include "cfront/lexer.h"
#include "cfront/program.h"
#include "cfront/semantic.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vx::cfront {

class Parser {
public:
    Parser(Program& program, std::vector<Token> tokens);
    void parse_translation_unit();

private:
    // ---- Scopes --------------------------------------------------------------------------
    struct Entity {
        enum class What : uint8_t { Object, Typedef, Constant } what = What::Object;
        Symbol* symbol = nullptr;
        CType* type = nullptr;
        int64_t value = 0;
    };
    struct Scope {
        std::map<std::string, Entity> names;
        std::map<std::string, CType*> tags;
    };
    Entity* lookup(const std::string& name);
    CType* lookup_tag(const std::string& name);
    void open_scope() { scopes_.emplace_back(); }
    void close_scope() { scopes_.pop_back(); }
    bool at_file_scope() const { return scopes_.size() == 1; }

    // ---- Tokens ----------------------------------------------------------------------------
    const Token& peek(size_t ahead = 0) const;
    const Token& next();
    bool is(const char* spelling, size_t ahead = 0) const;
    bool accept(const char* spelling);
    const Token& expect(const char* spelling);
    std::string expect_identifier();
    [[noreturn]] void error_here(const std::string& message) const;

    // ---- Declarations (parser_decl.cpp) ------------------------------------------------------
    struct DeclSpec {
        CType* type = nullptr;
        std::string storage; // "", "typedef", "extern", "static", "auto", "register"
        bool is_inline = false;
        SourcePos pos;
    };
    struct ParamDecl {
        std::string name;
        CType* type = nullptr;
        SourcePos pos;
    };
    struct Declarator {
        std::string name;
        CType* type = nullptr;
        SourcePos pos;
        std::vector<ParamDecl> params;
        bool has_params = false;
        SourcePos params_end;
    };
    struct Init {
        Node* expr = nullptr;
        std::vector<Init> list;
        bool braced = false;
        bool is_string = false;
        std::string bytes;
        SourcePos pos;
    };
    struct PathStep {
        bool is_index = true;
        int64_t position = 0; // element index or field index
    };
    using InitSink =
        std::function<void(CType* type, const Init* value, const std::vector<PathStep>& path)>;

    bool starts_type(size_t ahead = 0) const;
    DeclSpec parse_decl_specifiers();
    CType* parse_struct(SourcePos pos);
    CType* parse_enum(SourcePos pos);
    void check_tag_kind(CType* type, bool want_enum, const std::string& tag, SourcePos pos) const;
    CType* tag_in_innermost_scope(const std::string& tag, SourcePos tag_pos, bool want_enum);
    Declarator parse_declarator(CType* base, bool allow_abstract);
    CType* parse_declarator_suffixes(CType* base, Declarator* owner);
    std::vector<ParamDecl> parse_parameters(bool& variadic, bool& prototyped);
    CType* parse_type_name();
    int64_t parse_constant_expression();

    void parse_external_declaration();
    void parse_function_definition(const DeclSpec& specifiers, Declarator& declarator);
    Symbol* declare_global(const DeclSpec& specifiers, const Declarator& declarator, bool defines);
    void parse_local_declaration();
    void declare_local(const DeclSpec& specifiers, Declarator& declarator);
    void define_typedef(const Declarator& declarator);

    Init parse_initializer();
    void walk_initializer(CType* type, const std::vector<Init>& items, size_t& i,
                          std::vector<PathStep>& path, const InitSink& sink, SourcePos pos);
    void walk_aggregate(CType* type, const std::vector<Init>& items, size_t& i,
                        std::vector<PathStep>& path, const InitSink& sink, SourcePos pos);
    CType* complete_array(CType* type, const Init& init);
    void initialize_global(Symbol* symbol, const Init& init);
    Node* constant_value(CType* type, const Init* value);
    Node* address_constant(Node* node, CType* type, SourcePos pos);
    void initialize_local(Symbol* symbol, const Init& init);

    // ---- Statements (parser_stmt.cpp) --------------------------------------------------------
    void parse_compound(Block* block);
    void parse_block_items(Block* block);
    void parse_statement();
    void parse_if();
    void parse_while();
    void parse_do();
    void parse_for();
    void parse_switch();
    void parse_case();
    void parse_return();
    void parse_goto();
    void emit(Node* tree, SourcePos pos);
    void emit_expression_statement(Node* tree, SourcePos pos);
    void emit_label(int label);
    void emit_branch(int label, SourcePos pos);
    void emit_cbranch(Node* condition, int label, SourcePos pos);
    int new_label() { return ++label_count_; }
    int user_label(const std::string& name);

    // ---- Expressions (parser_expr.cpp) -------------------------------------------------------
    Node* parse_expression();
    Node* parse_assignment();
    Node* parse_conditional();
    Node* parse_binary(int min_precedence);
    Node* parse_unary();
    Node* parse_cast();
    Node* parse_postfix(Node* node);
    Node* parse_primary();
    Node* integer_literal(const Token& token);

    Program& program_;
    Semantics sema_;
    std::vector<Token> tokens_;
    size_t at_ = 0;
    std::vector<Scope> scopes_;

    // The function being compiled.
    Function* function_ = nullptr;
    Block* block_ = nullptr;
    int label_count_ = 0;
    std::vector<int> break_labels_;
    std::vector<int> continue_labels_;
    struct SwitchContext {
        CType* type = nullptr;
        std::vector<std::pair<int64_t, int>> cases;
        int default_label = 0;
    };
    std::vector<SwitchContext> switches_;
    struct UserLabel {
        int number = 0;
        bool defined = false;
        SourcePos first_use;
    };
    std::map<std::string, UserLabel> user_labels_;
    int anonymous_tags_ = 0;
};

} // namespace vx::cfront
