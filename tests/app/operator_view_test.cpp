// What the operator sees: the selected row of the item list reads clearly with and without the focus,
// names can be read, the log view shows the start of its lines and follows new ones, a drop-down-on-key
// row takes its value from the pick list only, and while the project records the item list shows live
// values from the simulated server and the health panel follows the database's troubles.
#include "../inspector/inspector_harness.hpp"
#include "app_harness.hpp"
#include "engine/db/odbc_connection.hpp"
#include "live_values.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/server.hpp"
#include "registration.hpp"
#include "snapshot_group.hpp"
#include "sqlite_project.hpp"
#include "tagclient.h"

#include <QDir>
#include <QHeaderView>
#include <QProcess>
#include <QScrollBar>
#include <QtTest>

using namespace tagsink;
using namespace tagsink::app;
using namespace tagsink::app::testing;

namespace {

bool Sqlite(const QString& file, const QString& sql) {
#ifdef _WIN32
    return OdbcRun("Driver={SQLite3};Database=" + OdbcFilePath(file).toStdString() + ";Timeout=5000;", sql);
#else
    QProcess sqlite;
    // The program writes the same file: wait for its lock instead of failing at once.
    sqlite.start(QStringLiteral("sqlite3"),
                 {QStringLiteral("-cmd"), QStringLiteral(".timeout 5000"), file, sql});
    return sqlite.waitForFinished(10000) && sqlite.exitCode() == 0;
#endif
}

int Distance(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
}

struct RowPicture {
    QRgb background = 0;
    int text_pixels = 0; // pixels that stand out from the background
};

// The selected row's cell as painted: its background (the most frequent colour) and how many pixels
// differ clearly from it (the text).
RowPicture Picture(QTreeWidget* list, QTreeWidgetItem* row, int column) {
    QImage image = list->viewport()->grab().toImage();
    QRect cell = list->visualItemRect(row);
    cell.setLeft(list->header()->sectionViewportPosition(column) + 2);
    cell.setWidth(list->columnWidth(column) - 4);
    cell.adjust(0, 2, 0, -2);
    std::map<QRgb, int> counts;
    for (int y = cell.top(); y <= cell.bottom(); ++y) {
        for (int x = cell.left(); x <= cell.right(); ++x) {
            ++counts[image.pixel(x, y)];
        }
    }
    RowPicture picture;
    int most = 0;
    for (auto [colour, n] : counts) {
        if (n > most) {
            most = n;
            picture.background = colour;
        }
    }
    for (auto [colour, n] : counts) {
        if (Distance(colour, picture.background) > 200) {
            picture.text_pixels += n;
        }
    }
    return picture;
}

QString ProjectWithItems(const QTemporaryDir& dir, const std::string& db_string, int items) {
    QString project = dir.filePath(QStringLiteral("tagsink.DAT"));
    TServer server;
    server.SetDBString(db_string);
    TGroup& group = TGroup::Create(server);
    group.SetName("Snapshot");
    group.SetTableName("readings");
    group.SetTimeField("DT");
    group.SetRecordInterval(100);
    for (int i = 0; i < items; ++i) {
        TItem& item = TItem::Create(group);
        item.SetName("LongItemName" + std::to_string(i + 1));
        item.SetItemName("Sine.Real8");
    }
    server.SaveToFile(project.toStdString());
    return project;
}

// The groups of a recording: Sine and Ramp into `readings`, with an item the server does not have.
void AddRecordingGroup(TServer& server) {
    TGroup& group = AddSnapshotGroup(server);
    TItem& missing = TItem::Create(group);
    missing.SetName("Missing");
    missing.SetItemName("No.Such.Item");
}

constexpr const char* kCreateReadings =
    "create table readings (DT varchar(30), S double precision, R integer)";

QTreeWidgetItem* RowNamed(TMain& main, const QString& name) {
    for (int i = 0; i < main.lvItems->topLevelItemCount(); ++i) {
        if (main.lvItems->topLevelItem(i)->text(0) == name) {
            return main.lvItems->topLevelItem(i);
        }
    }
    return nullptr;
}

quint64 Count(QLabel* label) {
    const QString text = label->text();
    return text.mid(text.lastIndexOf(QLatin1Char(' ')) + 1).toULongLong();
}

} // namespace

class OperatorViewTest : public QObject {
    Q_OBJECT
private slots:
    void SelectedRowReadsWithAndWithoutFocus() {
        QTemporaryDir dir;
        ScriptedPrompts prompts;
        Window w(ProjectWithItems(dir, "", 3));
        SelectNode(*w.main, w->tvItems->topLevelItem(0)->child(0));
        QCOMPARE(w->lvItems->topLevelItemCount(), 3);
        QTreeWidgetItem* selected = w->lvItems->topLevelItem(1);
        QTreeWidgetItem* other = w->lvItems->topLevelItem(2);
        SelectRow(*w.main, 1);
        QVERIFY(selected->isSelected());
        QVERIFY(w->lvItems->hasFocus());

        const RowPicture plain = Picture(w->lvItems, other, 1);
        const RowPicture focused = Picture(w->lvItems, selected, 1);
        QVERIFY2(plain.text_pixels > 10, "an unselected row shows its text");
        QVERIFY2(Distance(focused.background, plain.background) > 60, "the selection is visible");
        QVERIFY2(focused.text_pixels > 10, "the selected row's text reads against its background");

        Focus(w->tvItems);
        QVERIFY(!w->lvItems->hasFocus());
        QVERIFY(selected->isSelected());
        const RowPicture unfocused = Picture(w->lvItems, selected, 1);
        QVERIFY2(Distance(unfocused.background, plain.background) > 60, "the selection stays visible");
        QVERIFY2(unfocused.text_pixels > 10, "the selected row's text reads without the focus");
    }

    void NamesCanBeRead() {
        QTemporaryDir dir;
        ScriptedPrompts prompts;
        Window w(ProjectWithItems(dir, "", 2));
        SelectNode(*w.main, w->tvItems->topLevelItem(0)->child(0));
        QTreeWidgetItem* row = w->lvItems->topLevelItem(0);
        QCOMPARE(row->text(0), QStringLiteral("LongItemName1"));
        QCOMPARE(row->toolTip(0), QStringLiteral("LongItemName1"));
        QCOMPARE(row->toolTip(1), QStringLiteral("Sine.Real8"));
        QVERIFY2(w->lvItems->columnWidth(0) >=
                     QFontMetrics(w->lvItems->font()).horizontalAdvance(row->text(0)),
                 "the name column fits the names");
        QCOMPARE(w->lvItems->columnWidth(1), 120); // the other columns keep their widths
        // The live columns belong to Debug and Run.
        QVERIFY(w->lvItems->isColumnHidden(TMain::kValueColumn));
        QVERIFY(!w->HealthPanel->isVisibleTo(w.main.get()));
    }

    void LogViewShowsTheStartOfItsLinesAndFollows() {
        TLogView view(nullptr, 1000);
        view.resize(300, 120);
        const QString tail = QString(400, QLatin1Char('x'));
        for (int i = 0; i < 50; ++i) {
            view.AppendLine(
                QStringLiteral("2026-01-01 10:00:%1:uMap--TServer.DoRecord--%2").arg(i).arg(tail));
        }
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(view.Memo->horizontalScrollBar()->value(), 0);
        QScrollBar* down = view.Memo->verticalScrollBar();
        QVERIFY(down->maximum() > 0);
        QCOMPARE(down->value(), down->maximum());
        view.AppendLine(QStringLiteral("newest ") + tail);
        QCOMPARE(down->value(), down->maximum());
        QCOMPARE(view.Memo->horizontalScrollBar()->value(), 0);
        // Scrolled back by the operator: the view stays where it was.
        down->setValue(0);
        view.AppendLine(QStringLiteral("one more"));
        QCOMPARE(down->value(), 0);
        QCOMPARE(view.Memo->horizontalScrollBar()->value(), 0);
    }

    void DropDownOnKeyRowTakesItsValueFromTheList() {
        QTemporaryDir dir;
        ScriptedPrompts prompts;
        Window w(ProjectWithItems(dir, "", 1));
        SelectNode(*w.main, w->tvItems->topLevelItem(0)->child(0));
        SelectRow(*w.main, 0);
        auto* item = dynamic_cast<TItem*>(w->CurrentObject());
        QVERIFY(item);
        const TFieldType before = item->FieldType();
        inspector::TQZCustomPropsPage& page = *w->Inspector;
        const int row = inspector::testing::RowOf(page, QStringLiteral("FieldType"));
        QVERIFY2(row >= 0, qPrintable(inspector::testing::Captions(page).join(QLatin1Char(','))));
        QVERIFY(page.RowItem(row)->DropDownOnKey);
        const QString shown = page.RowItem(row)->DisplayValue;
        page.SetCurrentRow(row);
        QLineEdit* cell = inspector::testing::Cell(page);
        for (Qt::Key key : {Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_A}) {
            cell->setFocus();
            cell->setCursorPosition(cell->text().size());
            QTest::keyClick(cell, key);
            QVERIFY2(page.InplaceEdit()->PickList()->isVisible(), "every editing key opens the pick list");
            QCOMPARE(cell->text(), shown); // and changes nothing
            page.InplaceEdit()->ClosePickList();
        }
        cell->setFocus();
        QTest::keyClick(cell, Qt::Key_Return);
        QVERIFY(prompts.messages.isEmpty()); // no "Invalid property value" for a value never typed
        QCOMPARE(item->FieldType(), before);
        QCOMPARE(page.RowItem(row)->DisplayValue, shown);
    }

    void QualityTexts() {
        QCOMPARE(QualityText(0xC0), QStringLiteral("Good"));
        QCOMPARE(QualityText(0xD8), QStringLiteral("Good (local override)"));
        QCOMPARE(QualityText(0x18), QStringLiteral("Bad (comm failure)"));
        QCOMPARE(QualityText(0x08), QStringLiteral("Bad (not connected)"));
        QCOMPARE(QualityText(0x00), QStringLiteral("Bad"));
        QCOMPARE(QualityText(0x44), QStringLiteral("Uncertain (last usable value)"));
        QCOMPARE(QualityText(0x55), QStringLiteral("Uncertain (engineering units exceeded, low limited)"));
        QCOMPARE(QualityText(0xC3), QStringLiteral("Good (constant)"));
        QCOMPARE(ClassOfQuality(0x80), QualityClass::Bad);
        QCOMPARE(ClassOfQuality(0x56), QualityClass::Uncertain);
        QCOMPARE(LocalTimeStampText(0), QString());
        QCOMPARE(LiveValueText(qz::Variant()), QString());
        QCOMPARE(LiveValueText(qz::Variant(std::int32_t{42})), QStringLiteral("42"));
    }

    void LiveValuesAppearAndChange() {
        SqliteProject project(kCreateReadings, AddRecordingGroup);
        ScriptedPrompts prompts;
        Window w(project.options);
        QCOMPARE(w->Mode(), rmRun);
        SelectNode(*w.main, w->tvItems->topLevelItem(0)->child(0));
        QVERIFY(!w->lvItems->isColumnHidden(TMain::kValueColumn));
        QVERIFY(w->HealthPanel->isVisibleTo(w.main.get()));
        QTreeWidgetItem* sine = RowNamed(*w.main, QStringLiteral("Sine"));
        QTreeWidgetItem* missing = RowNamed(*w.main, QStringLiteral("Missing"));
        QVERIFY(sine && missing);
        QTRY_COMPARE_WITH_TIMEOUT(sine->text(TMain::kQualityColumn), QStringLiteral("Good"), 5000);
        const QString first = sine->text(TMain::kValueColumn);
        QVERIFY(!first.isEmpty());
        QVERIFY2(sine->text(TMain::kTimeColumn).startsWith(QDate::currentDate().toString(Qt::ISODate)),
                 qPrintable(sine->text(TMain::kTimeColumn)));
        QTRY_VERIFY_WITH_TIMEOUT(sine->text(TMain::kValueColumn) != first, 5000);
        // A value that never came stands out.
        QCOMPARE(missing->text(TMain::kValueColumn), QStringLiteral("(no value)"));
        QVERIFY(missing->background(TMain::kValueColumn).style() != Qt::NoBrush);
        QCOMPARE(sine->background(TMain::kValueColumn).style(), Qt::NoBrush);
        // The screen is redrawn a few times a second, not on every change.
        QCOMPARE(w->LiveTimer->interval(), TMain::kLiveInterval);
        QVERIFY(w->LiveTimer->isActive());

        // TAGSINK_SCREENSHOTS=folder keeps a picture of Run mode with live values.
        const QString shots = qEnvironmentVariable("TAGSINK_SCREENSHOTS");
        if (!shots.isEmpty()) {
            w->resize(1240, 640);
            SelectRow(*w.main, 0);
            QTest::qWait(1200);
            QVERIFY(w->grab().save(QDir(shots).filePath(QStringLiteral("main-run-live.png"))));
        }

        prompts.passwords.push_back(QStringLiteral("KRW5TM"));
        w->actModeEdit->trigger();
        QVERIFY(WaitStopped(*w.main));
        QCOMPARE(w->Mode(), rmEdit);
        QVERIFY(!w->LiveTimer->isActive());
        QVERIFY(w->lvItems->isColumnHidden(TMain::kValueColumn));
    }

    void CountersFollowADatabaseOutage() {
        SqliteProject project(kCreateReadings, AddRecordingGroup);
        ScriptedPrompts prompts;
        Window w(project.options);
        QCOMPARE(w->Mode(), rmRun);
        SelectNode(*w.main, w->tvItems->topLevelItem(0)->child(0));
        THealthPanel* health = w->HealthPanel;
        QTRY_VERIFY_WITH_TIMEOUT(Count(health->ExecutedLabel) >= 3, 10000);
        QCOMPARE(w->DbPanel->text(), QStringLiteral("DB Connected"));
        QVERIFY(w->DbPanel->styleSheet().isEmpty());
        QVERIFY(w->OpcPanel->styleSheet().isEmpty());
        QCOMPARE(Count(health->RejectedLabel), 0ull);

        // The table goes away: a missing table can come back, so its statements are retried, not set
        // aside; the failures are counted and the last one is shown with its reason.
        QVERIFY(Sqlite(project.db_file, QStringLiteral("alter table readings rename to readings_away;")));
        QTRY_VERIFY_WITH_TIMEOUT(Count(health->FailuresLabel) >= 1, 15000);
        QVERIFY(health->FailuresLabel->styleSheet().contains(QStringLiteral("#c62828")));
        QTRY_VERIFY_WITH_TIMEOUT(health->LastErrorLabel->text().contains(QStringLiteral("readings")), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(Count(health->WaitingLabel) + Count(health->JournaledLabel) > 0, 5000);
        QCOMPARE(Count(health->RejectedLabel), 0ull);
        // TAGSINK_SCREENSHOTS=folder keeps a picture of the outage with the counters moving.
        const QString shots = qEnvironmentVariable("TAGSINK_SCREENSHOTS");
        if (!shots.isEmpty()) {
            w->resize(1240, 640);
            QTest::qWait(1500);
            QVERIFY(w->grab().save(QDir(shots).filePath(QStringLiteral("main-db-outage.png"))));
        }

        // And comes back: statements are executed again.
        QVERIFY(Sqlite(project.db_file, QStringLiteral("alter table readings_away rename to readings;")));
        const quint64 executed = Count(health->ExecutedLabel);
        QTRY_VERIFY_WITH_TIMEOUT(Count(health->ExecutedLabel) >= executed + 3, 15000);
        QVERIFY(Count(health->ExecutedLabel) <= w->Stats().executed.load());
        QCOMPARE(Count(health->RejectedLabel), 0ull);
        QCOMPARE(w->Stats().rejected.load(), 0ull);
    }

    void DatabaseLinkDownIsRed() {
        QTemporaryDir dir;
        QVERIFY(QDir::setCurrent(dir.path()));
        const std::string db_string = "Driver={SQLite3};Database=" +
                                      dir.filePath(QStringLiteral("no/such/folder/plant.db")).toStdString() +
                                      ";Timeout=200;";
        ScriptedPrompts prompts;
        Window w(SaveSimProject(dir, db_string, AddRecordingGroup));
        QCOMPARE(w->Mode(), rmRun);
        QTRY_COMPARE_WITH_TIMEOUT(w->OpcPanel->text(), QStringLiteral("OPC Connected"), 5000);
        QTest::qWait(3 * TMain::kLiveInterval);
        QCOMPARE(w->DbPanel->text(), QStringLiteral("DB Disconnected"));
        QVERIFY(w->DbPanel->styleSheet().contains(QStringLiteral("#c62828")));
        QVERIFY(w->OpcPanel->styleSheet().isEmpty());
        // Statements wait for the database meanwhile.
        QTRY_VERIFY_WITH_TIMEOUT(Count(w->HealthPanel->WaitingLabel) > 0 ||
                                     Count(w->HealthPanel->JournaledLabel) > 0 ||
                                     QFileInfo::exists(dir.filePath(QStringLiteral("sql.dat"))),
                                 10000);
        prompts.passwords.push_back(QStringLiteral("KRW5TM"));
        w->actModeEdit->trigger();
        QVERIFY(WaitStopped(*w.main));
        QCOMPARE(w->Mode(), rmEdit);
        QVERIFY(w->DbPanel->styleSheet().isEmpty()); // in Edit nothing is expected to be connected
    }
};

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    tagsink::db::InstallOdbcConnectionFactory();
    RegisterProjectEditors();
    QZDAC_Init();
    int result = 0;
    {
        OperatorViewTest test;
        result = QTest::qExec(&test, argc, argv);
    }
    QZDAC_Uninit();
    return result;
}
#include "operator_view_test.moc"
