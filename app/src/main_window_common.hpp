// What the files of the main window share: the text of a model string and the role that ties tree nodes
// and list rows to their project objects.
#pragma once

#include <QString>

#include <string_view>

namespace tagsink::app::main_window {

inline QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

/// The data role of a tree node or list row that holds the address of its project object.
constexpr int kObjectRole = Qt::UserRole + 1;

} // namespace tagsink::app::main_window
