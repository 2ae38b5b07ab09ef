// TItemBrowser: picks the OPC item ID of a project item. It opens its own toolkit session to the
// project's server, shows the address space as a tree of branches beside the leaves of the selected
// branch, and puts the full item ID of a clicked leaf into its name field.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>

#include <cstdint>
#include <string>

namespace tagsink::app {

class TItemBrowser : public QDialog {
    Q_OBJECT
public:
    explicit TItemBrowser(QWidget* parent = nullptr);
    /// Closes the session.
    ~TItemBrowser() override;

    /// Opens the browser's session (0 on failure). Call once, before the dialog is shown.
    void SetOPC(const std::string& host, const std::string& class_id);
    /// What showing the dialog does: asks the namespace type, and on a hierarchical server moves to the root.
    void FormShow();

    void tvBranchChange(QTreeWidgetItem* node);
    void lbLeafClick();
    void lbLeafDblClick();
    void OKClick();

    std::uint32_t SessionHandle() const { return session_; }
    std::uint32_t NameSpaceType() const { return name_space_type_; }

    QLineEdit* eName;
    QPushButton* OK;
    QPushButton* Cancel;
    QTreeWidget* tvBranch;
    QListWidget* lbLeaf;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ToRoot();
    void ListLeaves();

    std::uint32_t session_ = 0;
    std::uint32_t name_space_type_ = 0;
    bool shown_ = false;
};

} // namespace tagsink::app
