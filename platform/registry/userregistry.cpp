#include "platform/registry/registryapi.h"

#ifdef _WIN32
#include "platform/registry/winregistry.h"
#else
#include "platform/registry/fileregistry.h"
#endif

namespace kv {

std::unique_ptr<RegistryApi> makeUserRegistry() {
#ifdef _WIN32
    return std::make_unique<WinRegistry>();
#else
    return std::make_unique<FileRegistry>(FileRegistry::userHivePath());
#endif
}

}  // namespace kv
