// Project file load and save times by project size.
//
//   tagsink_model_bench [repetitions]
//
// For each size the project (all items in one group, the worst case for name checks, plus a second
// layout of 100 groups) is built, saved with SaveToFile and loaded with LoadFromFile into a fresh root;
// the best of the repetitions is reported as microseconds per item, and the ratio to the smallest size.
// "write"/"read" are the same without the disk (bytes in memory), so that the cost of the format itself
// can be told apart from fsync and page-cache effects.
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/project_file.hpp"
#include "model/server.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

void Build(tagsink::TServer& root, int items, int groups) {
    root.SetOPCString("/Sim.Server.1/{00000000-0000-0000-0000-000000000001}");
    root.SetDBString("Driver={SQLite3};Database=bench.db");
    int made = 0;
    for (int g = 0; g < groups; ++g) {
        tagsink::TGroup& group = tagsink::TGroup::Create(root);
        group.SetName("Group" + std::to_string(g + 1));
        group.SetTableName("T" + std::to_string(g + 1));
        group.SetTimeField("DT");
        const int count = items / groups + (g < items % groups ? 1 : 0);
        for (int i = 0; i < count; ++i, ++made) {
            tagsink::TItem& item = tagsink::TItem::Create(group);
            item.SetName("Item" + std::to_string(made + 1));
            item.SetFieldName("V" + std::to_string(made + 1));
            item.SetFieldType(tagsink::TFieldType::ftFloat);
            item.SetItemName("Channel1.Device1.Tag" + std::to_string(made + 1));
        }
    }
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

} // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const auto file =
        std::filesystem::temp_directory_path() / ("tagsink-bench-" + std::to_string(::getpid()) + ".DAT");
    std::printf("%-7s %7s %9s %13s %13s %14s %13s %7s %7s\n", "groups", "items", "file KiB", "save us/item",
                "load us/item", "write us/item", "read us/item", "save x", "load x");
    for (int groups : {1, 100}) {
        double base_save = 0, base_load = 0;
        for (int items : {1000, 10000, 100000}) {
            double best_save = 1e9, best_load = 1e9, best_write = 1e9, best_read = 1e9;
            for (int r = 0; r < repetitions; ++r) {
                tagsink::TServer root;
                Build(root, items, groups);
                auto t0 = Clock::now();
                root.SaveToFile(file);
                auto t1 = Clock::now();
                tagsink::TServer loaded;
                loaded.LoadFromFile(file);
                auto t2 = Clock::now();
                if (loaded.GroupCount() != static_cast<std::size_t>(groups)) {
                    std::fprintf(stderr, "loaded project has %zu groups, expected %d\n", loaded.GroupCount(),
                                 groups);
                    return 1;
                }
                auto t3 = Clock::now();
                const std::string bytes = tagsink::WriteProjectStream(root);
                auto t4 = Clock::now();
                tagsink::TServer parsed;
                tagsink::ReadProjectStream(bytes, parsed);
                auto t5 = Clock::now();
                best_write = std::min(best_write, Seconds(t4 - t3));
                best_read = std::min(best_read, Seconds(t5 - t4));
                best_save = std::min(best_save, Seconds(t1 - t0));
                best_load = std::min(best_load, Seconds(t2 - t1));
            }
            const double save = best_save * 1e6 / items, load = best_load * 1e6 / items;
            if (base_save == 0)
                base_save = save, base_load = load;
            std::printf("%-7d %7d %9.0f %13.3f %13.3f %14.3f %13.3f %7.2f %7.2f\n", groups, items,
                        static_cast<double>(std::filesystem::file_size(file)) / 1024, save, load,
                        best_write * 1e6 / items, best_read * 1e6 / items, save / base_save,
                        load / base_load);
        }
    }
    std::filesystem::remove(file);
    return 0;
}
