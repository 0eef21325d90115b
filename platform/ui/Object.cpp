#include "platform/ui/Object.h"

#include <cstdlib>
#include <cxxabi.h>
#include <typeinfo>

namespace murmelo {

std::string Object::className() const {
    const char* mangled = typeid(*this).name();
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = status == 0 && demangled ? demangled : mangled;
    std::free(demangled);
    // Drop namespaces, but not inside template arguments.
    size_t cut = name.find('<');
    size_t colon = name.rfind("::", cut);
    if (colon != std::string::npos) {
        name = name.substr(colon + 2);
    }
    return name;
}

} // namespace murmelo
