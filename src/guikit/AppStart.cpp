#include "guikit/AppStart.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstdlib>
#include <memory>

namespace renvo {

bool haveDisplay()
{
    auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    // A platform named by the user is the user's choice.
    return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY");
}

bool installQtJapanese(QCoreApplication& app)
{
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    // Owned by the application, which uses it as long as it lives.
    translator->setParent(&app);
    return QCoreApplication::installTranslator(translator.release());
}

}  // namespace renvo
