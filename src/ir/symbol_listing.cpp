#include "ir/symbol_listing.h"

#include "ir/symbol_attributes.h"
#include "ir/symbol_table.h"
#include "ir/symbol_type_queries.h"

#include <algorithm>
#include <string_view>

namespace vx::ir {

namespace {

constexpr char SYMBOL_MARK = '#';
constexpr char PRAGMA_MARK = '^';
constexpr const char* COLUMNS = "-- variable -- size -- offset/class";

void print_arguments(FILE* out, const AttributeList& list) {
    for (const std::string& argument : list.arguments)
        std::fprintf(out, " %s", argument.c_str());
}

const char* constructor_line(const AttributeList& list) {
    const std::string_view kind = list.argument(0);
    if (kind == "C")
        return "\t  Symbol pragma: SYMBOL IS CONSTRUCTOR\n";
    if (kind == "D")
        return "\t  Symbol pragma: SYMBOL IS DESTRUCTOR\n";
    return "\t  Symbol pragma: SYMBOL IS CONSTRUCTOR/DESTRUCTOR\n";
}

void print_generic_attribute_line(FILE* out, const AttributeList& list) {
    std::fprintf(out, "\t  Symbol pragma #%d has %d arguments:", list.id,
                 static_cast<int>(list.arguments.size()));
    print_arguments(out, list);
    std::fputc('\n', out);
}

} // namespace

void print_attribute_line(FILE* out, const AttributeList& list) {
    switch (list.id) {
    case PRG_SOURCE_LANGUAGE:
        std::fprintf(out, "\t  Symbol pragma: SOURCE LANGUAGE = '%s'\n", list.argument(0));
        break;
    case PRG_LOCAL_STATIC_OF:
        std::fprintf(out, "\t  Symbol pragma: SYMBOL IS LOCAL STATIC OF %s()\n", list.argument(0));
        break;
    case PRG_TRANSLATION_UNIT:
        std::fprintf(out, "\t  Symbol pragma: TRANSLATION UNIT ID #%s\n", list.argument(0));
        break;
    case PRG_CLASS_MEMBER:
        std::fputs("\t  Symbol pragma: SYMBOL IS CLASS MEMBER\n", out);
        break;
    case PRG_SYMBOL_IS_DEAD:
        std::fputs("\t  Symbol pragma: SYMBOL IS DEAD\n", out);
        break;
    case PRG_COMDAT_GROUP:
        std::fprintf(out, "\t  Symbol pragma: COMDAT GROUP %s\n", list.argument(0));
        break;
    case PRG_CONSTRUCTOR_DESTRUCTOR:
        std::fputs(constructor_line(list), out);
        break;
    case PRG_EXCEPTION_SPEC:
        std::fputs("\t  Symbol pragma: EXCEPTION SPEC: (", out);
        print_arguments(out, list);
        std::fputs(" )\n", out);
        break;
    case PRG_FUNCTION_SYNONYM:
        std::fprintf(out, "\t  Symbol pragma: SYMBOL IS FUNCTION SYNONYM of %s\n",
                     list.argument(0));
        break;
    case PRG_RETURNS_BY_COPY_CTOR:
        std::fputs("\t  Symbol pragma: FUNC_RET_BY_CCTOR\n", out);
        break;
    case PRG_ALWAYS_INLINE:
        std::fputs("\t  Symbol pragma: FUNCTION ALWAYS INLINE\n", out);
        break;
    default:
        print_generic_attribute_line(out, list);
        break;
    }
}

void print_symbol_line(FILE* out, const Symbol& symbol, const TYPE* spelled_type) {
    const std::string spelling = TypeView(spelled_type).spelling();
    std::fprintf(
        out, "%c   %-11.32s %2ld\t%4ld   %2d  %#6x  %2ld %-16s", SYMBOL_MARK, symbol.name.c_str(),
        static_cast<long>(symbol.size), static_cast<long>(symbol.offset), symbol.storage_class,
        static_cast<unsigned>(symbol.flags), static_cast<long>(symbol.alignment), spelling.c_str());
    std::fprintf(out, "\t; (%d,%d)\n", symbol.table_level, static_cast<int>(symbol.table_index));
    for (const AttributeList* list = symbol.attributes; list; list = list->next)
        print_attribute_line(out, *list);
}

void list_global_symbols(FILE* out) {
    std::fputs("\n\fGlobal symbols\n\n", out);
    std::fputs(COLUMNS, out);
    std::fputs("/scqual/aln/stype;\n", out);
    for (const Symbol* symbol : global_symbols())
        print_symbol_line(out, *symbol, symbol->declared_type);
}

void list_local_symbols(FILE* out, const FUNINFO& function) {
    std::fputs(COLUMNS, out);
    std::fputs("/scqual/aln/otype;\n", out);
    for (SymbolListKind kind : symbol_lists_in_output_order)
        for (const Symbol* symbol : function.list(kind))
            print_symbol_line(out, *symbol, symbol->type);
}

void print_interned_names_report(FILE* out) {
    const auto& names = symbol_state().names;
    const auto without_record = std::count_if(names.begin(), names.end(), [](const auto& entry) {
        return entry.second.record == nullptr;
    });
    std::fprintf(out,
                 "\n%u interned symbols;  load factor %.2f, max load factor %.2f, %d with NULL "
                 "funinfo.\n",
                 static_cast<unsigned>(names.size()), static_cast<double>(names.load_factor()),
                 static_cast<double>(names.max_load_factor()), static_cast<int>(without_record));
}

void print_file_pragma(FILE* out, unsigned id, std::span<const std::string> arguments) {
    std::fprintf(out, "%c[Pragma] %d %d", PRAGMA_MARK, static_cast<int>(id),
                 static_cast<int>(arguments.size()));
    for (const std::string& argument : arguments)
        std::fprintf(out, " %s", argument.c_str());
    std::fputc('\n', out);
}

} // namespace vx::ir
