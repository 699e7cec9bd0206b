#include "window_module.h"

#include "file_trust.h"

#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>

// A user's own copy of the executable still finds the module where it was installed. comutel
// may run as root, so a module that another user could have put in its place is never loaded.
WindowModule *WindowModule::load(QString *problem)
{
    const QString exeFolder = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    *problem = QStringLiteral("comutel-window.so não está ao lado do executável, em "
                              "../lib/comutel nem em " COMUTEL_MODULE_DIR);
    for (const QString &folder : {exeFolder, exeFolder + QStringLiteral("/../lib/comutel"),
                                  QStringLiteral(COMUTEL_MODULE_DIR)}) {
        const QString path =
            QFileInfo(folder + QStringLiteral("/comutel-window.so")).canonicalFilePath();
        if (path.isEmpty())
            continue;
        if (!filetrust::isTrusted(path)) {
            *problem = QStringLiteral("%1 pode ter sido posto ali por outro usuário").arg(path);
            continue;
        }
        void *handle = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        auto entry = handle ? reinterpret_cast<WindowModule *(*)()>(
                                  ::dlsym(handle, COMUTEL_WINDOW_MODULE_ENTRY))
                            : nullptr;
        if (entry)
            return entry();
        *problem = QString::fromLocal8Bit(::dlerror());
    }
    return nullptr;
}
