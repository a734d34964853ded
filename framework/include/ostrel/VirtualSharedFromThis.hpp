// One shared-from-this anchor for an object that implements several interfaces:
// each interface derives virtually from VirtualSharedFromThis<itself>, and all of
// them share the one virtual base. Objects are made with std::make_shared.
#pragma once

#include <memory>

namespace ostrel {

class VirtualSharedFromThisBase : public std::enable_shared_from_this<VirtualSharedFromThisBase> {
public:
    virtual ~VirtualSharedFromThisBase() = default;
};

template <typename T>
class VirtualSharedFromThis : public virtual VirtualSharedFromThisBase {
public:
    std::shared_ptr<T> shared_from_this()
    {
        return std::dynamic_pointer_cast<T>(VirtualSharedFromThisBase::shared_from_this());
    }
    std::shared_ptr<const T> shared_from_this() const
    {
        return std::dynamic_pointer_cast<const T>(VirtualSharedFromThisBase::shared_from_this());
    }
};

}  // namespace ostrel
