#include "ToolkitTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

bool InstallToolkitTranslations()
{
    // Once per application: a second catalogue of the same texts would only be searched in vain.
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || app->findChild<QTranslator*>(QStringLiteral("ToolkitJapanese"), Qt::FindDirectChildrenOnly))
        return app != nullptr;
    auto translator = std::make_unique<QTranslator>();
    translator->setObjectName(QStringLiteral("ToolkitJapanese"));
    if (!translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    translator->setParent(app);
    return QCoreApplication::installTranslator(translator.release());
}
