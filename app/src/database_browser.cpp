#include "database_browser.hpp"

#include "model/db_connection.hpp"
#include "model/db_connection_factory.hpp"
#include "prompts.hpp"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#ifdef _WIN32
#include "platform/oleauto.h" // windows.h, whose types sql.h needs
#endif

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <iterator>
#include <memory>

namespace tagsink::app {

namespace {

// An ODBC environment handle for listing drivers and data sources.
class Environment {
public:
    Environment() {
        if (SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_) != SQL_SUCCESS) {
            env_ = SQL_NULL_HENV;
            return;
        }
        SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    }
    ~Environment() {
        if (env_ != SQL_NULL_HENV) {
            SQLFreeHandle(SQL_HANDLE_ENV, env_);
        }
    }
    Environment(const Environment&) = delete;
    Environment& operator=(const Environment&) = delete;
    SQLHENV get() const { return env_; }

private:
    SQLHENV env_ = SQL_NULL_HENV;
};

// A NUL-terminated SQLWCHAR text (UTF-16 on Windows and with unixODBC alike).
QString WideText(const SQLWCHAR* text) {
    static_assert(sizeof(SQLWCHAR) == sizeof(char16_t));
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(text));
}

// Values that hold ";" or "{" go in braces; a "}" inside is doubled.
QString Quoted(const QString& value) {
    if (value.contains(QLatin1Char(';')) || value.contains(QLatin1Char('{')) ||
        value.contains(QLatin1Char('}')) || value.startsWith(QLatin1Char(' ')) ||
        value.endsWith(QLatin1Char(' '))) {
        QString inner = value;
        inner.replace(QStringLiteral("}"), QStringLiteral("}}"));
        return QLatin1Char('{') + inner + QLatin1Char('}');
    }
    return value;
}

// Splits "key=value;key={va;lue}" into pairs (keys as written).
QList<QPair<QString, QString>> SplitConnectionString(const QString& text) {
    QList<QPair<QString, QString>> pairs;
    qsizetype i = 0;
    while (i < text.size()) {
        qsizetype eq = text.indexOf(QLatin1Char('='), i);
        if (eq < 0) {
            break;
        }
        QString key = text.mid(i, eq - i).trimmed();
        i = eq + 1;
        QString value;
        if (i < text.size() && text[i] == QLatin1Char('{')) {
            ++i;
            while (i < text.size()) {
                if (text[i] == QLatin1Char('}')) {
                    if (i + 1 < text.size() && text[i + 1] == QLatin1Char('}')) {
                        value += QLatin1Char('}');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += text[i++];
            }
            qsizetype semi = text.indexOf(QLatin1Char(';'), i);
            i = semi < 0 ? text.size() : semi + 1;
        } else {
            qsizetype semi = text.indexOf(QLatin1Char(';'), i);
            value = text.mid(i, (semi < 0 ? text.size() : semi) - i);
            i = semi < 0 ? text.size() : semi + 1;
        }
        if (!key.isEmpty()) {
            pairs.append({key, value});
        }
    }
    return pairs;
}

} // namespace

QString DefaultConnectionString() {
    QString file = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("tagsink.db"));
    return QStringLiteral("Driver={SQLite3};Database=%1;").arg(Quoted(QDir::toNativeSeparators(file)));
}

QStringList OdbcDrivers() {
    QStringList names;
    Environment env;
    if (env.get() == SQL_NULL_HENV) {
        return names;
    }
    // The wide calls: driver names in any language, on Windows (UTF-16) as with unixODBC.
    SQLWCHAR description[512];
    SQLWCHAR attributes[2048];
    SQLSMALLINT description_length = 0;
    SQLSMALLINT attributes_length = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDriversW(env.get(), direction, description, std::size(description),
                                     &description_length, attributes, std::size(attributes),
                                     &attributes_length))) {
        names << WideText(description);
        direction = SQL_FETCH_NEXT;
    }
    return names;
}

QStringList OdbcDataSources() {
    QStringList names;
    Environment env;
    if (env.get() == SQL_NULL_HENV) {
        return names;
    }
    SQLWCHAR name[SQL_MAX_DSN_LENGTH + 1];
    SQLWCHAR description[512];
    SQLSMALLINT name_length = 0;
    SQLSMALLINT description_length = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDataSourcesW(env.get(), direction, name, std::size(name), &name_length,
                                         description, std::size(description), &description_length))) {
        names << WideText(name);
        direction = SQL_FETCH_NEXT;
    }
    return names;
}

QString TestConnection(const QString& connection_string, bool& ok) {
    ok = false;
    try {
        std::unique_ptr<DbConnection> connection = CreateDbConnection();
        connection->SetConnectionString(connection_string.toStdString());
        connection->Open(std::chrono::seconds(5));
        ok = connection->IsConnected();
        connection->Close();
        return ok ? TConnectionBuilder::tr("连接成功 (connection opened)")
                  : TConnectionBuilder::tr("The connection did not open.");
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    }
}

TConnectionBuilder::TConnectionBuilder(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ConnectionBuilder"));
    setWindowTitle(tr("构造连接字符串"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    Driver = new QComboBox(this);
    Driver->setObjectName(QStringLiteral("Driver"));
    Driver->setEditable(true); // a driver the manager does not list may still be typed
    Driver->addItem(QString());
    Driver->addItems(OdbcDrivers());
    DataSource = new QComboBox(this);
    DataSource->setObjectName(QStringLiteral("DataSource"));
    DataSource->addItem(QString());
    DataSource->addItems(OdbcDataSources());
    Server = new QLineEdit(this);
    Server->setObjectName(QStringLiteral("Server"));
    Port = new QSpinBox(this);
    Port->setObjectName(QStringLiteral("Port"));
    Port->setRange(0, 65535);
    Port->setSpecialValueText(tr("(default)"));
    Database = new QLineEdit(this);
    Database->setObjectName(QStringLiteral("Database"));
    User = new QLineEdit(this);
    User->setObjectName(QStringLiteral("User"));
    Password = new QLineEdit(this);
    Password->setObjectName(QStringLiteral("Password"));
    Password->setEchoMode(QLineEdit::Password);
    File = new QLineEdit(this);
    File->setObjectName(QStringLiteral("File"));
    auto* file_row = new QHBoxLayout;
    file_row->addWidget(File);
    auto* pick = new QPushButton(QStringLiteral("..."), this);
    pick->setAutoDefault(false);
    file_row->addWidget(pick);
    form->addRow(tr("驱动程序 (Driver)"), Driver);
    form->addRow(tr("数据源 (DSN)"), DataSource);
    form->addRow(tr("服务器 (Server)"), Server);
    form->addRow(tr("端口 (Port)"), Port);
    form->addRow(tr("数据库 (Database)"), Database);
    form->addRow(tr("用户 (User)"), User);
    form->addRow(tr("密码 (Password)"), Password);
    form->addRow(tr("SQLite 文件 (File)"), file_row);
    layout->addLayout(form);
    Test = new QPushButton(tr("测试连接"), this);
    Test->setObjectName(QStringLiteral("Test"));
    Test->setAutoDefault(false);
    layout->addWidget(Test);
    Answer = new QLabel(this);
    Answer->setObjectName(QStringLiteral("Answer"));
    Answer->setWordWrap(true);
    Answer->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(Answer);
    auto* buttons = new QDialogButtonBox(this);
    OKBtn = buttons->addButton(tr("确定"), QDialogButtonBox::AcceptRole);
    CancelBtn = buttons->addButton(tr("取消"), QDialogButtonBox::RejectRole);
    OKBtn->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(Test, &QPushButton::clicked, this, [this] { Guarded([this] { TestClick(); }); });
    connect(pick, &QPushButton::clicked, this, [this] {
        QString name = QFileDialog::getSaveFileName(this, QStringLiteral("SQLite"), File->text(), QString(),
                                                    nullptr, QFileDialog::DontConfirmOverwrite);
        if (!name.isEmpty()) {
            File->setText(name);
        }
    });
}

void TConnectionBuilder::SetConnectionString(const QString& text) {
    extra_.clear();
    bool sqlite = false;
    for (const auto& [key, value] : SplitConnectionString(text)) {
        QString k = key.toUpper();
        if (k == QLatin1String("DRIVER")) {
            int index = Driver->findText(value, Qt::MatchFixedString);
            if (index < 0) {
                Driver->addItem(value);
                index = Driver->count() - 1;
            }
            Driver->setCurrentIndex(index);
            sqlite = value.contains(QLatin1String("SQLite"), Qt::CaseInsensitive);
        } else if (k == QLatin1String("DSN")) {
            int index = DataSource->findText(value, Qt::MatchFixedString);
            if (index < 0) {
                DataSource->addItem(value);
                index = DataSource->count() - 1;
            }
            DataSource->setCurrentIndex(index);
        } else if (k == QLatin1String("SERVER") || k == QLatin1String("SERVERNAME") ||
                   k == QLatin1String("HOST")) {
            Server->setText(value);
        } else if (k == QLatin1String("PORT")) {
            Port->setValue(value.toInt());
        } else if (k == QLatin1String("DATABASE") || k == QLatin1String("DB")) {
            if (sqlite) {
                File->setText(value);
            } else {
                Database->setText(value);
            }
        } else if (k == QLatin1String("UID") || k == QLatin1String("USER") ||
                   k == QLatin1String("USERNAME")) {
            User->setText(value);
        } else if (k == QLatin1String("PWD") || k == QLatin1String("PASSWORD")) {
            Password->setText(value);
        } else {
            extra_ << key + QLatin1Char('=') + Quoted(value);
        }
    }
    // "Database" may come before "Driver": a file-based driver takes it as the file.
    if (Driver->currentText().contains(QLatin1String("SQLite"), Qt::CaseInsensitive) &&
        File->text().isEmpty()) {
        File->setText(Database->text());
        Database->clear();
    }
}

QString TConnectionBuilder::ConnectionString() const {
    QStringList parts;
    auto add = [&parts](const char* key, const QString& value) {
        if (!value.isEmpty()) {
            parts << QLatin1String(key) + QLatin1Char('=') + Quoted(value);
        }
    };
    if (!DataSource->currentText().isEmpty()) {
        add("DSN", DataSource->currentText());
    } else if (!Driver->currentText().isEmpty()) {
        parts << QStringLiteral("Driver={%1}").arg(Driver->currentText());
    }
    bool sqlite = Driver->currentText().contains(QLatin1String("SQLite"), Qt::CaseInsensitive);
    if (sqlite) {
        add("Database", File->text());
    } else {
        add("Server", Server->text());
        if (Port->value() > 0) {
            add("Port", QString::number(Port->value()));
        }
        add("Database", Database->text());
        if (Database->text().isEmpty()) {
            add("Database", File->text());
        }
    }
    add("UID", User->text());
    add("PWD", Password->text());
    parts << extra_;
    return parts.isEmpty() ? QString() : parts.join(QLatin1Char(';')) + QLatin1Char(';');
}

void TConnectionBuilder::TestClick() {
    bool ok = false;
    Answer->setText(TestConnection(ConnectionString(), ok));
}

TDatabaseBrowser::TDatabaseBrowser(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("DatabaseBrowser"));
    setWindowTitle(tr("ADO连接参数设置"));
    auto* layout = new QHBoxLayout(this);
    auto* frame = new QGroupBox(tr("设置信息"), this);
    auto* frame_layout = new QVBoxLayout(frame);
    ConnStr = new QPlainTextEdit(frame);
    ConnStr->setObjectName(QStringLiteral("ConnStr"));
    ConnStr->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    ConnStr->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ConnStr->setPlainText(DefaultConnectionString());
    frame_layout->addWidget(ConnStr);
    Build = new QPushButton(tr("构造"), frame);
    Build->setObjectName(QStringLiteral("Build"));
    Build->setAutoDefault(false);
    frame_layout->addWidget(Build, 0, Qt::AlignRight);
    layout->addWidget(frame);
    auto* side = new QVBoxLayout;
    OKBtn = new QPushButton(tr("确定"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(tr("取消"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setAutoDefault(false);
    side->addWidget(OKBtn);
    side->addWidget(CancelBtn);
    side->addStretch();
    layout->addLayout(side);
    resize(420, 200);
    connect(Build, &QPushButton::clicked, this, [this] { Guarded([this] { BuildClick(); }); });
    connect(OKBtn, &QPushButton::clicked, this, &TDatabaseBrowser::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TDatabaseBrowser::BuildClick() {
    TConnectionBuilder builder(this);
    builder.SetConnectionString(ConnStr->toPlainText());
    if (CurrentPrompts().Exec(builder) == QDialog::Accepted) {
        ConnStr->setPlainText(builder.ConnectionString());
    }
}

void TDatabaseBrowser::OKBtnClick() {
    if (!ConnStr->toPlainText().isEmpty()) {
        accept();
    }
}

} // namespace tagsink::app
