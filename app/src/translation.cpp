#include "translation.hpp"

#include <QCoreApplication>
#include <QTranslator>

#include <stdexcept>

// The resource compiled from the .qm lives in this static library; naming it keeps it linked in.
static void LoadTranslationResource() {
    Q_INIT_RESOURCE(tagsink_translations);
}

namespace tagsink::app {

QString LanguageForUiLanguages(const QStringList& ui_languages) {
    if (!ui_languages.isEmpty()) {
        const QString first = ui_languages.first().toLower();
        if (first == QLatin1String("zh") || first.startsWith(QLatin1String("zh-")) ||
            first.startsWith(QLatin1String("zh_"))) {
            return QStringLiteral("zh");
        }
    }
    return QStringLiteral("en");
}

bool IsKnownLanguage(const QString& language) {
    return language == QLatin1String("en") || language == QLatin1String("zh");
}

std::unique_ptr<QTranslator> InstallTranslation(QCoreApplication& application, const QString& language) {
    if (!IsKnownLanguage(language)) {
        throw std::runtime_error("unknown language '" + language.toStdString() + "' (expected en or zh)");
    }
    if (language == QLatin1String("zh")) {
        return nullptr; // the program's own texts
    }
    LoadTranslationResource();
    auto translator = std::make_unique<QTranslator>();
    const QString file = QStringLiteral(":/i18n/tagsink_%1.qm").arg(language);
    if (!translator->load(file)) {
        throw std::runtime_error("the translation " + file.toStdString() + " cannot be loaded");
    }
    application.installTranslator(translator.get());
    return translator;
}

} // namespace tagsink::app
