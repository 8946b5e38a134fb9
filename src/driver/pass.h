// Step objects of the schedule and the registry that numbers them.
//
// A step's number is its index in the pass manager's registry, so the
// numbers printed in traces follow the order in which steps are built.
#pragma once

#include <string>
#include <vector>

namespace vx::driver {

// Base of every numbered object: appends itself to its manager's registry on
// construction and clears its slot on destruction.  The derived object passes
// itself in, since the base may not downcast before the derived part exists.
template <typename Object, typename Manager> class serial_object {
public:
    serial_object(Manager& manager, Object* self) : manager_(&manager), self_(self) {
        serial_ = static_cast<int>(manager.registry().size());
        manager.registry().push_back(self);
    }
    serial_object(const serial_object&) = delete;
    serial_object& operator=(const serial_object&) = delete;
    virtual ~serial_object();

    int serial() const { return serial_; }
    Manager& manager() const { return *manager_; }

private:
    int serial_;
    Manager* manager_;
    Object* self_;
};

using StepAction = void (*)();

// A per-function step: run once for every function.
class pass : public serial_object<pass, class pass_manager> {
public:
    // `reads_trees`: the action works on the function's statements, so its
    // body must have been read before it runs.
    pass(std::string name, StepAction action, bool reads_trees = true);
    ~pass() override;

    virtual bool is_barrier() const { return false; }
    const std::string& name() const { return name_; }
    bool reads_trees() const { return reads_trees_; }
    // Runs the action with its trace banners, timing and flow-graph dumps.
    void run_step();

private:
    std::string name_;
    StepAction action_;
    bool reads_trees_;
};

// A file-level step: run once, when every function has reached it.
class barrier_pass : public pass {
public:
    using pass::pass;
    bool is_barrier() const override { return true; }
};

class pass_manager {
public:
    std::vector<pass*>& registry() { return registry_; }
    // Empties the registry; steps built afterwards are numbered from 0.
    void clear() { registry_.clear(); }

private:
    std::vector<pass*> registry_;
};

template <typename Object, typename Manager> serial_object<Object, Manager>::~serial_object() {
    auto& registry = manager_->registry();
    if (serial_ >= 0 && static_cast<size_t>(serial_) < registry.size() &&
        registry[static_cast<size_t>(serial_)] == self_)
        registry[static_cast<size_t>(serial_)] = nullptr;
}

} // namespace vx::driver
