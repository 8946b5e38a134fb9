// A fresh world for simplifier tests: a type package, a node arena, named
// types, variables, node builders and a compact printed form of trees.
#pragma once

#include "ir/node.h"
#include "ir/node_build.h"
#include "ir/symbol.h"
#include "ir/type.h"
#include "ir/type_package.h"
#include "support/arena.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <memory>
#include <string>

namespace vx::scalar::testing {

class SimplifierWorld : public ::testing::Test {
protected:
    void SetUp() override {
        ir::reset_type_world();
        ir::reset_node_environment();
        package_ = std::make_unique<ir::TYPE_PKG>();
        ir::NodeEnvironment& env = ir::node_environment();
        env.arena = &arena_;
        env.integer_shape = [](const ir::TYPE* type) {
            return ir::IntegerShape{type->size(), type->is_signed()};
        };
        using K = ir::TYPE;
        i16 = package_->int_type(K::ik_int);
        u16 = package_->int_type(K::ik_uint);
        s16 = package_->int_type(K::ik_short);
        i32 = package_->int_type(K::ik_long);
        u32 = package_->int_type(K::ik_ulong);
        i64 = package_->int_type(K::ik_llong);
        u64 = package_->int_type(K::ik_ullong);
        boolean = package_->int_type(K::ik_bool);
        f32 = package_->float_type(K::fk_float);
        f64 = package_->float_type(K::fk_ldouble);
        pi16 = package_->mk_ptr(i16);
        vi16 = package_->mk_qual(i16, ir::CQ_VOLATILE);
        pvi16 = package_->mk_ptr(vi16);
        type_names_ = {{i16, "i16"},    {u16, "u16"}, {s16, "s16"},   {i32, "i32"},
                       {u32, "u32"},    {i64, "i64"}, {u64, "u64"},   {boolean, "bool"},
                       {f32, "f32"},    {f64, "f64"}, {pi16, "pi16"}, {vi16, "vi16"},
                       {pvi16, "pvi16"}};
    }
    void TearDown() override {
        ir::reset_node_environment();
        arena_.release();
        package_.reset();
        ir::reset_type_world();
    }

    // ---- Builders
    ir::Symbol* variable(const std::string& name, ir::TYPE* type) {
        ir::Symbol& symbol = symbols_.emplace_back();
        symbol.name = name;
        symbol.type = symbol.declared_type = type;
        symbol.size = type->size();
        symbol.level = 2;
        symbol.storage_class = ir::SC_AUTO;
        return &symbol;
    }
    ir::NODE* name(ir::Symbol* symbol) { return ir::make_name(symbol, symbol->type); }
    ir::NODE* var(const std::string& n, ir::TYPE* type) { return name(variable(n, type)); }
    ir::NODE* icon(ir::TYPE* type, int64_t value) { return ir::make_icon(type, value); }
    ir::NODE* fcon(ir::TYPE* type, double value) { return ir::make_fcon(type, value); }
    ir::NODE* un(ir::Opcode op, ir::TYPE* type, ir::NODE* operand) {
        return ir::make_node(op, type, operand);
    }
    ir::NODE* bin(ir::Opcode op, ir::TYPE* type, ir::NODE* left, ir::NODE* right) {
        return ir::make_node(op, type, left, right);
    }
    ir::NODE* call(ir::TYPE* type, const std::string& function) {
        ir::NODE* callee = un(ir::UAND, pi16, name(variable(function, i16)));
        return un(ir::UCALL, type, callee);
    }

    // ---- Printed form: (OP:type operands) with ICON values, NAME names
    // and FCON values.
    std::string text(const ir::NODE* node) const {
        if (node == nullptr)
            return "-";
        std::string out;
        switch (node->op) {
        case ir::ICON:
            out = "#" + node->value_for_type().to_decimal(node->type->is_signed());
            break;
        case ir::NAME:
            return node->sym()->name;
        case ir::FCON:
            out = "#" + std::to_string(node->fcon()->value());
            break;
        default:
            out = std::string("(") + ir::opcode_name(node->op);
            break;
        }
        auto found = type_names_.find(node->type);
        if (found != type_names_.end())
            out += ":" + found->second;
        if (node->op == ir::ICON || node->op == ir::FCON)
            return out;
        for (const ir::NODE* operand : {node->left, node->right})
            if (operand != nullptr)
                out += " " + text(operand);
        return out + ")";
    }

    ir::TYPE *i16 = nullptr, *u16 = nullptr, *s16 = nullptr, *i32 = nullptr, *u32 = nullptr,
             *i64 = nullptr, *u64 = nullptr, *boolean = nullptr, *f32 = nullptr, *f64 = nullptr,
             *pi16 = nullptr, *vi16 = nullptr, *pvi16 = nullptr;

private:
    std::unique_ptr<ir::TYPE_PKG> package_;
    Arena arena_;
    std::deque<ir::Symbol> symbols_;
    std::map<const ir::TYPE*, std::string> type_names_;
};

} // namespace vx::scalar::testing
