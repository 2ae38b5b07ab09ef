// TServerBrowser: lists the OPC DA 2.0 servers of a host and hands back the chosen one as host, ProgID
// and class ID.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <string>
#include <vector>

namespace tagsink::app {

struct TServerInfo {
    std::string HostName;
    std::string ProgID;
    std::string ClassID;
};

class TServerBrowser : public QDialog {
    Q_OBJECT
public:
    /// Creating the dialog fills the list once (the servers of the host field, empty: this computer).
    explicit TServerBrowser(QWidget* parent = nullptr);

    /// Lists the servers of the host in `Host` (the "浏览" button).
    void FindClick();
    /// The selected line's host, ProgID and class ID; leaves the outputs unchanged without a selection.
    void GetSelection(std::string& host, std::string& prog_id, std::string& class_id) const;
    /// OK and double click: close with OK only when a line is selected.
    void OKBtnClick();

    QLineEdit* Host;
    QPushButton* Find;
    QListWidget* Servers;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

private:
    std::vector<TServerInfo> infos_; // one per line of Servers, same order
};

} // namespace tagsink::app
