// TDatabaseBrowser: writes or builds the project's database connection string (an ODBC connection
// string). "构造" opens TConnectionBuilder, which lists the installed drivers and data sources, asks for
// the usual fields and can test the connection.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>

namespace tagsink::app {

/// A connection string for an SQLite file "tagsink.db" beside the program.
QString DefaultConnectionString();

/// The installed ODBC drivers and data sources (names as the driver manager reports them).
QStringList OdbcDrivers();
QStringList OdbcDataSources();

/// Tries to open a connection with `connection_string`; returns the driver's answer (or "OK" text).
/// `ok` tells whether it opened.
QString TestConnection(const QString& connection_string, bool& ok);

class TConnectionBuilder : public QDialog {
    Q_OBJECT
public:
    explicit TConnectionBuilder(QWidget* parent = nullptr);

    /// Fills the fields from an existing connection string (the keys it knows; others are kept).
    void SetConnectionString(const QString& text);
    /// The connection string the fields describe.
    QString ConnectionString() const;
    /// Tests the described connection and shows the driver's answer in Answer.
    void TestClick();

    QComboBox* Driver;     // a driver, or empty when a data source is used
    QComboBox* DataSource; // a data source name, or empty
    QLineEdit* Server;
    QSpinBox* Port; // 0: the driver's default
    QLineEdit* Database;
    QLineEdit* User;
    QLineEdit* Password;
    QLineEdit* File; // the database file (file-based drivers)
    QPushButton* Test;
    QLabel* Answer;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

private:
    QStringList extra_; // keys of the starting string that have no field, kept as they were
};

class TDatabaseBrowser : public QDialog {
    Q_OBJECT
public:
    explicit TDatabaseBrowser(QWidget* parent = nullptr);

    void BuildClick();
    void OKBtnClick();

    QPlainTextEdit* ConnStr;
    QPushButton* Build;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
};

} // namespace tagsink::app
