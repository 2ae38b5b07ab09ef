// Delivery from the simulated DA 2.0 server through the C API: groups of 1, 100 and 10,000 counter items
// that change every 50 ms, pumped through QZDAC_DispatchEvents. The rate counts item changes delivered per
// second of time spent inside QZDAC_DispatchEvents (server work included), beside a loop that only copies
// and clears the same VARIANTs.
#include <tagclient.h>

#include <poll.h>

#include <chrono>
#include <cstdio>
#include <vector>

namespace {

std::size_t g_delivered = 0;
std::vector<VARIANT> g_sample; // copies of the first values, for the baseline

void QZDAC_CALL OnChange(QZDAC_HSESSION, QZDAC_HGROUP, QZDAC_HITEM, VARIANT v, FILETIME, uint32_t) {
    ++g_delivered;
    if (g_sample.size() < 10000) {
        VARIANT copy;
        VariantInit(&copy);
        VariantCopy(&copy, &v);
        g_sample.push_back(copy);
    }
}

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

} // namespace

int main() {
    if (QZDAC_Init() != QZDAC_TRUE)
        return 1;
    std::printf("%8s %10s %16s %16s %8s\n", "items", "changes", "toolkit/s", "copy only/s", "ratio");
    for (int count : {1, 100, 10000}) {
        QZDAC_HSESSION s = QZDAC_Connect("", "Tagsink.SimServer.DA2", 2);
        if (!s) {
            std::fprintf(stderr, "cannot connect to the simulated server\n");
            return 1;
        }
        QZDAC_SetDataChangeProc(s, &OnChange);
        QZDAC_HGROUP g = QZDAC_AddGroup(s, "bench", QZDAC_TRUE, 50, 0, 0, 0);
        for (int i = 0; i < count; ++i)
            QZDAC_AddItem(s, g, "Counter.Int4@50");
        g_delivered = 0;
        pollfd p{static_cast<int>(QZDAC_GetEventHandle()), POLLIN, 0};
        std::chrono::steady_clock::duration inside{};
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (std::chrono::steady_clock::now() < end) {
            poll(&p, 1, 20);
            const auto t0 = std::chrono::steady_clock::now();
            QZDAC_DispatchEvents();
            inside += std::chrono::steady_clock::now() - t0;
        }
        const std::size_t delivered = g_delivered;
        const double toolkit = static_cast<double>(delivered) / Seconds(inside);

        const auto t0 = std::chrono::steady_clock::now();
        std::size_t copied = 0;
        while (copied < delivered && !g_sample.empty())
            for (const VARIANT& v : g_sample) {
                VARIANT copy;
                VariantInit(&copy);
                VariantCopy(&copy, &v);
                VariantClear(&copy);
                if (++copied == delivered)
                    break;
            }
        const double baseline = static_cast<double>(copied) / Seconds(std::chrono::steady_clock::now() - t0);
        std::printf("%8d %10zu %16.0f %16.0f %8.2f\n", count, delivered, toolkit, baseline,
                    baseline / toolkit);
        QZDAC_Disconnect(s);
        for (auto& v : g_sample)
            VariantClear(&v);
        g_sample.clear();
    }
    QZDAC_Uninit();
    return 0;
}
