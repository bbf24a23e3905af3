#include "bench/report.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int kNameWidth = 16;

// Geometric means skip pictures a decoder refused, so one failure does not
// hide the rest of the group.
class GeoMean {
public:
    void Add(double value)
    {
        if (value > 0) {
            logSum_ += std::log(value);
            ++count_;
        }
    }
    double Value() const { return count_ ? std::exp(logSum_ / count_) : -1; }

private:
    double logSum_ = 0;
    int count_ = 0;
};

void PrintNumber(double value, const char* format, const char* missing, int width)
{
    if (value > 0)
        std::printf(format, width, value);
    else
        std::printf("%*s", width, missing);
}

struct Row {
    std::vector<double> Rates;   // megapixels per second, per decoder
    std::vector<double> Ratios;  // ours / peer, per decoder (the limit: its share of our time)
};

// Both the speed ratio (ours / peer, in pixels per second) and the limit's
// share of our time come out as the peer's seconds over ours.
Row MakeRow(const Picture& picture, const std::vector<double>& seconds)
{
    Row row;
    for (double s : seconds) {
        row.Rates.push_back(s > 0 ? picture.Megapixels() / s : -1);
        row.Ratios.push_back(s > 0 && seconds[0] > 0 ? s / seconds[0] : -1);
    }
    return row;
}

void PrintRow(const std::string& name, const Row& row, size_t limitIndex)
{
    std::printf("%-*s", kNameWidth, name.c_str());
    for (double rate : row.Rates)
        PrintNumber(rate, "%*.1f", "fail", 11);
    std::printf("  |");
    for (size_t d = 1; d < row.Ratios.size(); ++d) {
        if (d == limitIndex)
            continue;
        PrintNumber(row.Ratios[d], "%*.2fx", "-", 10);
    }
    std::printf("  |");
    if (row.Ratios[limitIndex] > 0)
        std::printf("%10.0f%%", row.Ratios[limitIndex] * 100);
    else
        std::printf("%11s", "-");
    std::printf("\n");
}

void PrintHeading(const GroupReport& report)
{
    std::printf("%-*s", kNameWidth, "picture");
    for (const Decoder& decoder : report.Decoders)
        std::printf("%11s", decoder.Name);
    std::printf("  |");
    for (size_t d = 1; d < report.Decoders.size(); ++d)
        if (d != report.LimitIndex)
            std::printf("%11s", (std::string("/") + report.Decoders[d].Name).c_str());
    std::printf("  |%11s\n", "zlib share");
}

}  // namespace

void PrintGroup(const GroupReport& report)
{
    size_t decoderCount = report.Decoders.size();
    std::printf("\n== %s: megapixels per second; ours / peer (above 1: ours faster); zlib-only time / ours\n",
                report.Title.c_str());
    PrintHeading(report);
    std::vector<GeoMean> rates(decoderCount), ratios(decoderCount);
    std::vector<std::string> refused;
    for (size_t p = 0; p < report.Pictures.size(); ++p) {
        Row row = MakeRow(report.Pictures[p], (*report.Times)[p]);
        for (size_t d = 0; d < decoderCount; ++d) {
            rates[d].Add(row.Rates[d]);
            ratios[d].Add(row.Ratios[d]);
        }
        if (row.Rates[0] <= 0)
            refused.push_back(report.Pictures[p].Name);
        if (report.EveryPicture)
            PrintRow(report.Pictures[p].Name, row, report.LimitIndex);
    }
    Row mean;
    for (size_t d = 0; d < decoderCount; ++d) {
        mean.Rates.push_back(rates[d].Value());
        mean.Ratios.push_back(ratios[d].Value());
    }
    PrintRow("geometric mean", mean, report.LimitIndex);
    std::printf("(%zu pictures", report.Pictures.size());
    if (!refused.empty()) {
        std::printf("; ours refused %zu:", refused.size());
        for (const std::string& name : refused)
            std::printf(" %s", name.c_str());
    }
    std::printf(")\n");
}

SummaryLine Summarize(const std::string& group, const std::string& memory, std::span<const Picture> pictures,
                      const TimingTable& times)
{
    SummaryLine line;
    line.Group = group;
    line.Memory = memory;
    line.Pictures = pictures.size();
    size_t decoderCount = times.empty() ? 0 : times[0].size();
    GeoMean rate;
    std::vector<GeoMean> ratios(decoderCount);
    for (size_t p = 0; p < pictures.size(); ++p) {
        Row row = MakeRow(pictures[p], times[p]);
        rate.Add(row.Rates[0]);
        for (size_t d = 1; d < decoderCount; ++d)
            ratios[d].Add(row.Ratios[d]);
        // Decoder 1 is libpng.
        if (decoderCount > 1 && row.Ratios[1] > 0 && (line.SlowestVsLibpng < 0 || row.Ratios[1] < line.SlowestVsLibpng)) {
            line.SlowestVsLibpng = row.Ratios[1];
            line.SlowestName = pictures[p].Name;
        }
    }
    line.OursRate = rate.Value();
    for (size_t d = 0; d < decoderCount; ++d)
        line.Ratios.push_back(d == 0 ? 1.0 : ratios[d].Value());
    return line;
}

void PrintSummary(std::span<const SummaryLine> lines, std::span<const Decoder> decoders, size_t limitIndex)
{
    std::printf("\n== summary: geometric means per group; ours / limit is ours as a share of the zlib-only speed\n");
    std::printf("%-28s %-30s%6s%10s%13s", "group", "memory", "files", "ours MP/s", "ours / limit");
    for (size_t d = 1; d < decoders.size(); ++d)
        if (d != limitIndex)
            std::printf("%11s", (std::string("/") + decoders[d].Name).c_str());
    std::printf("  %s\n", "least /libpng");
    for (const SummaryLine& line : lines) {
        std::printf("%-28s %-30s%6zu%10.1f%13.3f", line.Group.c_str(), line.Memory.c_str(), line.Pictures,
                    line.OursRate, line.Ratios[limitIndex]);
        for (size_t d = 1; d < line.Ratios.size(); ++d)
            if (d != limitIndex)
                PrintNumber(line.Ratios[d], "%*.2fx", "-", 10);
        std::printf("  %.2fx %s\n", line.SlowestVsLibpng, line.SlowestName.c_str());
    }
}
