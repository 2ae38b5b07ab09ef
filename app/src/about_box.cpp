#include "about_box.hpp"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace tagsink::app {

TAbout::TAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("About"));
    setWindowTitle(tr("关于"));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* icon = new QLabel(this);
    QIcon program_icon = QApplication::windowIcon().isNull() ? style()->standardIcon(QStyle::SP_ComputerIcon)
                                                             : QApplication::windowIcon();
    icon->setPixmap(program_icon.pixmap(32, 32));
    top->addWidget(icon, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    auto* product = new QLabel(QStringLiteral("Tagsink 1.0"), this);
    product->setObjectName(QStringLiteral("ProductName"));
    QFont bold = product->font();
    bold.setBold(true);
    product->setFont(bold);
    texts->addWidget(product);
    texts->addWidget(new QLabel(tr("符合OPC数据访问服务器规范 1.0-3.0 "), this));
    texts->addWidget(new QLabel(tr("Tagsink project"), this));
    texts->addWidget(new QLabel(tr("OPC values into database tables"), this));
    top->addLayout(texts);
    layout->addLayout(top);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(tr("确定"), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

} // namespace tagsink::app
