#pragma once
// Owner of a service or service manager handle.

#include "utils/platform/service_api.h"
#include "utils/unique_handle.h"

namespace services {

struct ServiceHandleTraits {
    using Handle = SC_HANDLE;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { utils::api::CloseServiceHandle(h); }
};

using ServiceHandle = utils::UniqueHandle<ServiceHandleTraits>;

}  // namespace services
