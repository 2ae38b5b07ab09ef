#include "server_browser.hpp"

#include "platform/code_page.hpp"
#include "platform/variant.hpp"
#include "tagclient.h"
#include "variant_strings.hpp"

#include <QGroupBox>
#include <QLabel>

namespace tagsink::app {

TServerBrowser::TServerBrowser(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ServerBrowser"));
    setWindowTitle(tr("OPC服务器浏览器"));
    setFixedSize(425, 238);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(12);
    setFont(font);

    auto* box = new QGroupBox(tr("设置信息"), this);
    box->setGeometry(8, 8, 321, 225);
    (new QLabel(tr("主机名称"), box))->setGeometry(8, 26, 73, 17);
    Host = new QLineEdit(box);
    Host->setObjectName(QStringLiteral("Host"));
    Host->setGeometry(64, 24, 137, 20);
    Find = new QPushButton(tr("浏览"), box);
    Find->setObjectName(QStringLiteral("Find"));
    Find->setGeometry(240, 24, 73, 21);
    Find->setAutoDefault(false);
    (new QLabel(tr("服务器"), box))->setGeometry(8, 47, 73, 17);
    Servers = new QListWidget(box);
    Servers->setObjectName(QStringLiteral("Servers"));
    Servers->setGeometry(64, 48, 249, 169);
    Servers->setSortingEnabled(false);
    OKBtn = new QPushButton(tr("确定"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(344, 16, 73, 22);
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(tr("取消"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(344, 46, 73, 24);
    CancelBtn->setAutoDefault(false);

    connect(Find, &QPushButton::clicked, this, &TServerBrowser::FindClick);
    connect(OKBtn, &QPushButton::clicked, this, &TServerBrowser::OKBtnClick);
    connect(Servers, &QListWidget::itemDoubleClicked, this, &TServerBrowser::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    FindClick();
}

void TServerBrowser::FindClick() {
    Servers->clear();
    infos_.clear();
    std::string host = Host->text().toStdString();
    qz::Variant prog_ids;
    qz::Variant class_ids;
    int32_t count = QZDAC_GetServers(qz::ToAnsi(host).c_str(), 2, prog_ids.out(), class_ids.out());
    QStringList progs = StringsOf(prog_ids.get());
    QStringList classes = StringsOf(class_ids.get());
    for (int32_t i = 0; i < count && i < progs.size(); ++i) {
        infos_.push_back(
            {host, progs[i].toStdString(), i < classes.size() ? classes[i].toStdString() : std::string()});
        Servers->addItem(progs[i]);
    }
    Servers->setCurrentRow(-1);
    Servers->clearSelection();
}

void TServerBrowser::GetSelection(std::string& host, std::string& prog_id, std::string& class_id) const {
    int row = Servers->currentRow();
    if (row < 0 || row >= static_cast<int>(infos_.size()) || Servers->selectedItems().isEmpty()) {
        return;
    }
    const TServerInfo& info = infos_[static_cast<std::size_t>(row)];
    host = info.HostName;
    prog_id = info.ProgID;
    class_id = info.ClassID;
}

void TServerBrowser::OKBtnClick() {
    if (Servers->currentRow() >= 0 && !Servers->selectedItems().isEmpty()) {
        accept();
    }
}

} // namespace tagsink::app
