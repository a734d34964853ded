// Every call of the add-on into the host's programming interface. Each goes through
// the copy of the host's function table that the add-on took at load; a slot the
// host leaves empty answers HostInterface::ErrNotProvided.
//
// The calls are generated from the host's list of operations (HostOperations.def):
// HostApi_X has the listed signature of operation X.
#pragma once

#include "GSRoot.hpp"
#include "HostInterface.hpp"

#include <cstddef>
#include <cstdint>
#include <utility>

namespace ostrel::ac::hostapi {

// Copies the host's table (HostInterface::FunctionTableBytes) and marks it installed.
void InstallFunctionTable(const void* table);
void UninstallFunctionTable();
bool IsInstalled();

// The host's entry for a slot; null before the table is installed or when the host
// leaves the slot empty.
HostInterface::Entry EntryAt(HostInterface::Slot slot);

// What a call answers when the host does not provide the operation.
template <HostInterface::Slot S>
inline constexpr std::int32_t notProvided = HostInterface::ErrNotProvided;
// The resource module has no error code: without the host there is no module.
template <>
inline constexpr GSResModule notProvided<HostInterface::Slot::ResourceModuleId> = 0;

template <HostInterface::Slot S, typename Signature = typename HostInterface::Operation<S>::Type>
struct Call;

template <HostInterface::Slot S, typename R, typename... Args>
struct Call<S, R(Args...)> {
    static R Invoke(Args... args)
    {
        const HostInterface::Entry entry = EntryAt(S);
        if (entry == nullptr)
            return notProvided<S>;
        return reinterpret_cast<R (*)(Args...)>(entry)(std::forward<Args>(args)...);
    }
};

}  // namespace ostrel::ac::hostapi

// HostApi_X(...): operation X of the host.
#define HOST_OPERATION(name, slot, signature) \
    inline constexpr auto& HostApi_##name = ostrel::ac::hostapi::Call<HostInterface::Slot::name>::Invoke;
#include "HostOperations.def"
