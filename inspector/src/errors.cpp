#include "inspector/errors.hpp"

namespace tagsink::inspector {

QString ExceptionMessage(const std::exception& e) {
    if (const auto* qz = dynamic_cast<const EQZError*>(&e)) {
        return qz->Message();
    }
    return QString::fromUtf8(e.what());
}

} // namespace tagsink::inspector
