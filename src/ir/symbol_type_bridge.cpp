// The type package's answers to the symbol layer's questions.
#include "ir/symbol_type_queries.h"
#include "ir/type.h"
#include "ir/type_package.h"

namespace vx::ir {

namespace {

TYPE* package_companion(TYPE* declared) {
    if (declared->package())
        return declared->package()->companion(declared);
    return declared->is_enum() ? declared->underlying_type() : declared;
}

} // namespace

void install_type_package_queries() {
    TypeQueries queries;
    queries.is_function = [](const TYPE* type) { return type->is_func(); };
    queries.size = [](const TYPE* type) { return type->size(); };
    queries.alignment = [](const TYPE* type) { return type->alignment(); };
    queries.qualifiers = [](const TYPE* type) { return static_cast<unsigned>(type->qualifiers()); };
    queries.optimizer_type = package_companion;
    queries.spelling = [](const TYPE* type) { return type->spelling(); };
    install_type_queries(queries);
}

} // namespace vx::ir
