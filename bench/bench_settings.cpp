// Start-up cost of the settings: resolution against a normal and an oversized Param.ini.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

#include "platform/posix/user_key_store_conf.h"
#include "settings/modIni.h"
#include "settings/modRegistre.h"

namespace {
std::string WriteFile(const std::string& name, const std::string& content) {
    const auto path = std::filesystem::temp_directory_path() / name;
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
}

void BM_ResolveSettings_Typical(benchmark::State& state) {
    SharedSettings settings;
    settings.IniPath =
        WriteFile("bench-param.ini",
                  "[Param]\r\nPage=http://127.0.0.1/info\r\nLangue=fr\r\nDelaiInfo=15\r\n");
    ConfUserKeyStore store("/nonexistent");
    for (auto _ : state) benchmark::DoNotOptimize(ResolveSettings(settings, store));
}
BENCHMARK(BM_ResolveSettings_Typical);

void BM_ReadIniValue_FiveMegabytes(benchmark::State& state) {
    std::string content = "[Other]\n";
    while (content.size() < 5'000'000)
        content += "key" + std::to_string(content.size()) + "=value\n";
    content += "[Param]\nPage=http://127.0.0.1/info\n";
    const std::string path = WriteFile("bench-big.ini", content);
    for (auto _ : state) benchmark::DoNotOptimize(ReadIniValue("Param", "Page", path, ""));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * content.size()));
}
BENCHMARK(BM_ReadIniValue_FiveMegabytes)->Unit(benchmark::kMillisecond);

void BM_WriteIniValue(benchmark::State& state) {
    const std::string path = WriteFile("bench-write.ini", "[Param]\nPage=a\nLangue=en\n");
    int i = 0;
    for (auto _ : state)
        WriteIniValue("Param", "DelaiInfo", std::to_string(i++ % 2 ? 5 : 15), path);
}
BENCHMARK(BM_WriteIniValue)->Unit(benchmark::kMicrosecond);
}  // namespace
