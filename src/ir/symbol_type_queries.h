// What the symbol layer asks of types.  The symbol table needs a handful of
// answers about a TYPE (is it a function, its size, its qualifiers, the
// optimizer's companion type, its spelling) but does not own types; the
// program installs the type package's answers once at start-up (tests may
// install their own).  Until then no type is a function, every type is
// unqualified, its own companion and spelled "", and sizes are not checked.
#pragma once

#include <cstdint>
#include <string>

namespace vx::ir {

class TYPE;

struct TypeQueries {
    bool (*is_function)(const TYPE* type) = nullptr;
    uint32_t (*size)(const TYPE* type) = nullptr;      // bits
    uint32_t (*alignment)(const TYPE* type) = nullptr; // bits
    // Qualifier bits collected through typedefs (1 const, 2 volatile, ...).
    unsigned (*qualifiers)(const TYPE* type) = nullptr;
    // The type the optimizer uses for a declared type; an enum gives its
    // underlying integer type.
    TYPE* (*optimizer_type)(TYPE* declared) = nullptr;
    // C-like spelling, as the type printer writes it.
    std::string (*spelling)(const TYPE* type) = nullptr;
};

inline constexpr unsigned QUAL_CONST = 1;

// Installs the type package's answers (the program does this at start-up).
void install_type_package_queries();

// Installs the queries; returns the previous set.  A default-constructed
// record restores the defaults described above.
TypeQueries install_type_queries(const TypeQueries& queries);
const TypeQueries& type_queries();

// A TYPE seen through the installed queries.  A null type is no function,
// has size and alignment 0 and spells as "".
class TypeView {
public:
    explicit TypeView(const TYPE* type) : type_(type) {}
    const TypeView* operator->() const { return this; }

    bool is_func() const;
    bool size_known() const;
    uint32_t size() const;
    uint32_t alignment() const;
    unsigned qualifiers() const;
    bool is_const() const { return (qualifiers() & QUAL_CONST) != 0; }
    std::string spelling() const;

private:
    const TYPE* type_;
};

// The optimizer's type for a declared type (the declared type itself when
// no query is installed).
TYPE* optimizer_type_of(TYPE* declared);

} // namespace vx::ir
