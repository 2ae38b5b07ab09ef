#include "item_browser.hpp"

#include "platform/code_page.hpp"
#include "platform/variant.hpp"
#include "tagclient.h"
#include "variant_strings.hpp"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSplitter>

#include <cstring>

namespace tagsink::app {

namespace {
constexpr uint32_t kUp = 1;
constexpr uint32_t kDown = 2;
constexpr uint32_t kBranches = 1;
constexpr uint32_t kLeaves = 2;
// A server that never refuses "up" must not hang the dialog.
constexpr int kMaxUpMoves = 1000;

QStringList Browse(std::uint32_t session, uint32_t type) {
    qz::Variant names;
    QZDAC_BrowseItems(session, type, "*", 0, 0, names.out());
    return StringsOf(names.get());
}
} // namespace

TItemBrowser::TItemBrowser(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ItemBrowser"));
    setWindowTitle(tr("标签浏览器"));
    setFixedSize(558, 308);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(12);
    setFont(font);

    (new QLabel(tr("标签名称"), this))->setGeometry(8, 11, 65, 13);
    eName = new QLineEdit(this);
    eName->setObjectName(QStringLiteral("eName"));
    eName->setGeometry(72, 8, 401, 20);
    OK = new QPushButton(tr("确定"), this);
    OK->setObjectName(QStringLiteral("OK"));
    OK->setGeometry(480, 8, 73, 25);
    OK->setDefault(true);
    Cancel = new QPushButton(tr("取消"), this);
    Cancel->setObjectName(QStringLiteral("Cancel"));
    Cancel->setGeometry(480, 40, 73, 25);
    Cancel->setAutoDefault(false);

    auto* box = new QGroupBox(this);
    box->setGeometry(8, 32, 465, 273);
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* splitter = new QSplitter(Qt::Horizontal, box);
    tvBranch = new QTreeWidget(splitter);
    tvBranch->setObjectName(QStringLiteral("tvBranch"));
    tvBranch->setHeaderHidden(true);
    tvBranch->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvBranch->setSelectionBehavior(QAbstractItemView::SelectRows);
    tvBranch->setIndentation(19);
    lbLeaf = new QListWidget(splitter);
    lbLeaf->setObjectName(QStringLiteral("lbLeaf"));
    splitter->addWidget(tvBranch);
    splitter->addWidget(lbLeaf);
    splitter->setSizes({183, 270});
    layout->addWidget(splitter);

    new QTreeWidgetItem(tvBranch, {QStringLiteral("ROOT")});

    connect(tvBranch, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* node) { tvBranchChange(node); });
    connect(lbLeaf, &QListWidget::itemClicked, this, &TItemBrowser::lbLeafClick);
    connect(lbLeaf, &QListWidget::itemDoubleClicked, this, &TItemBrowser::lbLeafDblClick);
    connect(OK, &QPushButton::clicked, this, &TItemBrowser::OKClick);
    connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);
}

TItemBrowser::~TItemBrowser() {
    if (session_ != 0) {
        QZDAC_Disconnect(session_);
    }
}

void TItemBrowser::SetOPC(const std::string& host, const std::string& class_id) {
    if (session_ != 0) {
        QZDAC_Disconnect(session_);
    }
    session_ = QZDAC_Connect(qz::ToAnsi(host).c_str(), qz::ToAnsi(class_id).c_str(), 2);
}

void TItemBrowser::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!shown_) {
        FormShow();
    }
}

void TItemBrowser::FormShow() {
    shown_ = true;
    uint16_t type = 0;
    if (QZDAC_GetNameSpace(session_, &type) != 0) {
        name_space_type_ = type;
    }
    if (name_space_type_ == 1) {
        ToRoot();
    }
}

void TItemBrowser::ToRoot() {
    for (int i = 0; i < kMaxUpMoves && QZDAC_ChangeBrowsePosition(session_, kUp, "") != 0; ++i) {
    }
}

void TItemBrowser::ListLeaves() {
    lbLeaf->clear();
    lbLeaf->addItems(Browse(session_, kLeaves));
}

void TItemBrowser::tvBranchChange(QTreeWidgetItem* node) {
    if (!node) {
        return;
    }
    if (name_space_type_ == 2) {
        ListLeaves();
        return;
    }
    ToRoot();
    QStringList path;
    for (QTreeWidgetItem* step = node; step && step->parent(); step = step->parent()) {
        path.prepend(step->text(0));
    }
    for (const QString& branch : path) {
        QZDAC_ChangeBrowsePosition(session_, kDown, qz::ToAnsi(branch.toStdString()).c_str());
    }
    ListLeaves();
    if (node->childCount() == 0) {
        for (const QString& branch : Browse(session_, kBranches)) {
            new QTreeWidgetItem(node, {branch});
        }
        node->setExpanded(true);
    }
}

void TItemBrowser::lbLeafClick() {
    QListWidgetItem* line = lbLeaf->currentItem();
    if (!line || !line->isSelected()) {
        return;
    }
    char buffer[128];
    std::memset(buffer, 0, sizeof buffer);
    if (QZDAC_GetItemFullName(session_, qz::ToAnsi(line->text().toStdString()).c_str(), buffer, 127) != 0) {
        buffer[127] = '\0';
        eName->setText(QString::fromStdString(qz::FromAnsi(buffer)));
    }
}

void TItemBrowser::lbLeafDblClick() {
    QListWidgetItem* line = lbLeaf->currentItem();
    if (!line) {
        return;
    }
    lbLeafClick();
    accept();
}

void TItemBrowser::OKClick() {
    if (!eName->text().isEmpty()) {
        accept();
    }
}

} // namespace tagsink::app
