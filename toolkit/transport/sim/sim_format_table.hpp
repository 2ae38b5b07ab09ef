// Clipboard formats registered by name.
#pragma once
#include "sim_stream.hpp"

#include <transport/transport.hpp>

#include <mutex>
#include <string>
#include <vector>

namespace tagclient::transport::sim {

// Clipboard formats registered by name (shared by the transport and the data objects it creates).
class FormatTable {
public:
    CLIPFORMAT Register(const char16_t* name) {
        if (name == nullptr || *name == 0)
            return 0;
        std::lock_guard lock(mutex_);
        std::u16string n(name);
        for (size_t i = 0; i < names_.size(); ++i)
            if (names_[i] == n)
                return static_cast<CLIPFORMAT>(0xC000 + i);
        names_.push_back(n);
        return static_cast<CLIPFORMAT>(0xC000 + names_.size() - 1);
    }
    // The stream format of a registered number, if it is one of the data formats.
    bool DataFormat(CLIPFORMAT cf, StreamFormat* format) {
        if (cf == Register(kFormatData)) {
            *format = StreamFormat::Data;
            return true;
        }
        if (cf == Register(kFormatDataTime)) {
            *format = StreamFormat::DataTime;
            return true;
        }
        return false;
    }

private:
    std::mutex mutex_;
    std::vector<std::u16string> names_;
};

} // namespace tagclient::transport::sim
