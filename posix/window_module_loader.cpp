#include "ui/window_module.h"

#include "posix/file_trust.h"

#include <dlfcn.h>

// A user's own copy of the executable still finds the module where it was installed. comutel may
// run as root, so a module that another user could have put in its place is never loaded.
WindowModule *WindowModule::load(std::string *problem)
{
    const std::string exeFolder = filetrust::folderOf(filetrust::resolved("/proc/self/exe"));
    *problem = "comutel-window.so não está ao lado do executável, em ../lib/comutel nem "
               "em " COMUTEL_MODULE_DIR;
    for (const std::string &folder :
         {exeFolder, exeFolder + "/../lib/comutel", std::string(COMUTEL_MODULE_DIR)}) {
        const std::string path = filetrust::resolved(folder + "/comutel-window.so");
        if (path.empty())
            continue;
        if (!filetrust::isTrusted(path)) {
            *problem = path + " pode ter sido posto ali por outro usuário";
            continue;
        }
        void *handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        auto entry = handle ? reinterpret_cast<WindowModule *(*)()>(
                                  ::dlsym(handle, COMUTEL_WINDOW_MODULE_ENTRY))
                            : nullptr;
        if (entry)
            return entry();
        *problem = ::dlerror();
    }
    return nullptr;
}
