// Writes a deterministic, realistic log: timestamp, level, thread, component
// and message; about 1 line in 200 with non-ASCII text, 1 in 500 starting
// with tabs and 1 in 10 000 of 2 to 20 KB; about 110 bytes a line on average.
// With STAMPS "epoch" each line starts with the same moment in Unix
// milliseconds instead of "2026-12-DD hh:mm:ss.mmm", so two logs of
// different seeds and stamps interleave in time.
//
//   qilark_loggen FILE SIZE_MB [SEED [STAMPS]]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace {

const char* const levels[] = {"INFO ", "INFO ", "INFO ", "DEBUG", "DEBUG", "WARN ", "ERROR"};
const char* const components[] = {"http.server", "db.pool", "auth", "scheduler", "cache", "mailer", "payments"};
const char* const messages[] = {
    "request GET /api/orders/%d answered 200 in %d ms",
    "user %d signed in from 10.0.%d.%d",
    "cache hit ratio %d%% over the last minute",
    "connection pool at %d%% of capacity, %d waiting",
    "timeout after %d ms talking to payments-%d",
    "job nightly-report-%d finished, %d rows written",
    "could not parse reply from inventory: unexpected token at %d (%d)",
    "retrying upload of chunk %d of %d",
};
const char* const foreign[] = {"Größe überschritten", "задание выполнено", "処理が完了しました", "café crème"};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: qilark_loggen FILE SIZE_MB [SEED [iso|epoch]]\n");
        return 2;
    }
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    const std::uint64_t target = std::strtoull(argv[2], nullptr, 10) * 1'000'000;
    std::mt19937_64 random(argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 2026);
    const bool epoch = argc > 4 && std::string(argv[4]) == "epoch";
    constexpr std::uint64_t december1 = 20788;  // 2026-12-01 in days since 1970
    std::uint64_t written = 0;
    std::uint64_t millis = 1'765'000'000'000ull;
    std::string line;
    char buffer[256];
    for (std::uint64_t n = 0; written < target; ++n) {
        line.clear();
        if (n % 500 == 499) line += "\t\t";
        millis += random() % 40;
        const std::uint64_t seconds = millis / 1000;
        if (epoch) {
            const std::uint64_t written = (december1 + seconds / 86400 % 28) * 86'400'000 + millis % 86'400'000;
            std::snprintf(buffer, sizeof buffer, "%llu %s [worker-%d] %s: ", static_cast<unsigned long long>(written),
                          levels[random() % std::size(levels)], static_cast<int>(random() % 16),
                          components[random() % std::size(components)]);
        } else {
            std::snprintf(buffer, sizeof buffer, "2026-12-%02d %02d:%02d:%02d.%03d %s [worker-%d] %s: ",
                          static_cast<int>(1 + seconds / 86400 % 28), static_cast<int>(seconds / 3600 % 24),
                          static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60),
                          static_cast<int>(millis % 1000), levels[random() % std::size(levels)],
                          static_cast<int>(random() % 16), components[random() % std::size(components)]);
        }
        line += buffer;
        std::snprintf(buffer, sizeof buffer, messages[random() % std::size(messages)], static_cast<int>(random() % 100000),
                      static_cast<int>(random() % 5000), static_cast<int>(random() % 256), static_cast<int>(random() % 256));
        line += buffer;
        if (n % 200 == 199) {
            line += " — ";
            line += foreign[random() % std::size(foreign)];
        }
        if (n % 10000 == 9999) {
            const std::size_t extra = 2000 + random() % 18000;
            line += " payload=";
            while (line.size() < extra) line += "0123456789abcdef";
        }
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), out);
        written += line.size();
    }
    std::fclose(out);
    return 0;
}
