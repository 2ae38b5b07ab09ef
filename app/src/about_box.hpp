// TAbout: the About box (product name and version, the standard it follows, the publisher).
#pragma once

#include <QDialog>

namespace tagsink::app {

class TAbout : public QDialog {
    Q_OBJECT
public:
    explicit TAbout(QWidget* parent = nullptr);
};

} // namespace tagsink::app
