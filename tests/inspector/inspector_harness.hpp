// Drives an inspector as an operator would: pick a row, type into its cell, press keys, double-click.
#pragma once

#include "inspector/property_inspector.hpp"

#include <QLineEdit>
#include <QStringList>
#include <QTest>

namespace tagsink::inspector::testing {

/// An inspector that collects the messages it would show instead of opening a message box.
class TestInspector : public TQZPropertyInspector {
public:
    explicit TestInspector(QWidget* parent = nullptr) : TQZPropertyInspector(parent) {}
    QStringList Errors;
    int ModifiedCount = 0;
    void ShowError(const QString& message) override { Errors << message; }
    void CountModified() {
        connect(this, &TQZCustomPropertyInspector::Modified, this, [this] { ++ModifiedCount; });
    }
};

/// The captions of the visible rows, in order.
inline QStringList Captions(const TQZCustomPropsPage& page) {
    QStringList list;
    for (int r = 0; r < page.RowCount(); ++r) {
        list << page.RowItem(r)->Caption;
    }
    return list;
}

/// The row whose caption is this (at any level below parentRow, or at top level), or -1.
inline int RowOf(const TQZCustomPropsPage& page, const QString& caption, int from = 0) {
    for (int r = from; r < page.RowCount(); ++r) {
        if (page.RowItem(r)->Caption == caption) {
            return r;
        }
    }
    return -1;
}

/// Makes a row current by clicking its caption.
inline void ClickRow(TQZCustomPropsPage& page, int row) {
    page.SetCurrentRow(row);
    QTest::qWait(0);
}

inline QLineEdit* Cell(TQZCustomPropsPage& page) {
    return page.InplaceEdit()->LineEdit();
}

/// Selects the row, replaces the cell's text by typing, and presses Enter.
inline void TypeInto(TQZCustomPropsPage& page, int row, const QString& text) {
    page.SetCurrentRow(row);
    QLineEdit* cell = Cell(page);
    cell->setFocus();
    cell->selectAll();
    QTest::keyClick(cell, Qt::Key_Delete);
    for (const QChar c : text) {
        if (c.unicode() < 128) {
            QTest::keyClick(cell, c.toLatin1());
        } else {
            QTest::sendKeyEvent(QTest::Click, cell, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }
    QTest::keyClick(cell, Qt::Key_Return);
}

/// Puts text into the cell as a paste would (rows that open their list on any key take no typing),
/// then presses Enter.
inline void PasteInto(TQZCustomPropsPage& page, int row, const QString& text) {
    page.SetCurrentRow(row);
    Cell(page)->setFocus();
    Cell(page)->setText(text);
    QTest::keyClick(Cell(page), Qt::Key_Return);
}

inline QString CellText(const TQZCustomPropsPage& page, int row) {
    return page.RowItem(row)->DisplayValue;
}

} // namespace tagsink::inspector::testing
