#include "ir/symbol_type_queries.h"

namespace vx::ir {

namespace {

TypeQueries& installed_queries() {
    static TypeQueries queries;
    return queries;
}

} // namespace

TypeQueries install_type_queries(const TypeQueries& queries) {
    TypeQueries previous = installed_queries();
    installed_queries() = queries;
    return previous;
}

const TypeQueries& type_queries() {
    return installed_queries();
}

bool TypeView::is_func() const {
    return type_ && type_queries().is_function && type_queries().is_function(type_);
}

bool TypeView::size_known() const {
    return type_ && type_queries().size;
}

uint32_t TypeView::size() const {
    return size_known() ? type_queries().size(type_) : 0;
}

uint32_t TypeView::alignment() const {
    return type_ && type_queries().alignment ? type_queries().alignment(type_) : 0;
}

unsigned TypeView::qualifiers() const {
    return type_ && type_queries().qualifiers ? type_queries().qualifiers(type_) : 0;
}

std::string TypeView::spelling() const {
    return type_ && type_queries().spelling ? type_queries().spelling(type_) : std::string();
}

TYPE* optimizer_type_of(TYPE* declared) {
    if (!declared || !type_queries().optimizer_type)
        return declared;
    return type_queries().optimizer_type(declared);
}

} // namespace vx::ir
