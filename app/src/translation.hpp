// The language of the user interface. The program's own texts are Chinese; an English translation is
// built into the program as a resource (":/i18n/tagsink_en.qm"). The system's first user-interface
// language chooses it (Chinese keeps the program's texts, any other language gets English) unless
// `tagsink --language en|zh` names one.
#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QCoreApplication;
class QTranslator;

namespace tagsink::app {

/// "zh" when the first of the languages (as QLocale::uiLanguages gives them, e.g. "zh-Hans-CN") is
/// Chinese, "en" otherwise (also for an empty list).
QString LanguageForUiLanguages(const QStringList& ui_languages);

/// Whether `language` is one that --language takes ("en" or "zh").
bool IsKnownLanguage(const QString& language);

/// Installs the translator of `language` on the application and returns it (the caller keeps it alive
/// as long as the application uses it). "zh" installs nothing and gives null; "en" gives the built-in
/// English translation. Throws std::runtime_error when the translation cannot be loaded.
std::unique_ptr<QTranslator> InstallTranslation(QCoreApplication& application, const QString& language);

} // namespace tagsink::app
