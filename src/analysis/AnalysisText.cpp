// The words of the detectability report, in one place so that a translation finds them all.

#include <cstdio>
#include <string_view>
#include <utility>

#include "analysis/Analysis.h"
#include "base/Translate.h"
#include "codec/Container.h"
#include "text/TextRules.h"

namespace pennacrow::analysis {

namespace {

std::string Rate(const std::optional<double>& rate) {
  if (!rate) return "-";
  char text[16];
  std::snprintf(text, sizeof text, "%.3f", *rate);
  return text;
}

std::string JsonRate(const std::optional<double>& rate) {
  if (!rate) return "null";
  char text[24];
  std::snprintf(text, sizeof text, "%.4f", *rate);
  return text;
}

// A run's first characters on one line: line breaks and tabs shown as spaces.
std::string OneLine(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  }
  return out;
}

std::string ContainerText(const TAnalysisReport& r) {
  std::string text = Tr(DataFormatText(r.DataFormat).c_str());
  while (!text.empty() && text.back() == ' ') text.pop_back();
  if (r.ContainerBits > 0) text += TrF("（占 %1 个载体字节）", {std::to_string(r.ContainerBits)});
  return text;
}

std::string TextFindingText(const TTextFinding& f) {
  return TrF(f.Base64 ? N_("%1，第 %2 字节起 %3 个可读字符（Base64，像是加密文本）：\"%4\"")
                      : N_("%1，第 %2 字节起 %3 个可读字符：\"%4\""),
             {StreamText(f), std::to_string(f.Offset), std::to_string(f.Length), OneLine(f.Start)});
}

std::string RatesLine(const TRates& r) {
  return "SPA " + Rate(r.Spa) + "  RS " + Rate(r.Rs) + "  WS " + Rate(r.Ws);
}

}  // namespace

std::string VerdictText(TVerdict verdict) {
  switch (verdict) {
    case TVerdict::Detectable:
      return N_("容易被检测");
    case TVerdict::Suspicious:
      return N_("有可疑痕迹");
    case TVerdict::Undecided:
      return N_("无法判断");
    case TVerdict::Clean:
      break;
  }
  return N_("未发现明显痕迹");
}

const char* BasisKey(TVerdictBasis basis) {
  switch (basis) {
    case TVerdictBasis::Text:
      return "text";
    case TVerdictBasis::Estimators:
      return "estimators";
    case TVerdictBasis::Trained:
      return "trained";
    case TVerdictBasis::TooSmall:
      return "too_small";
    case TVerdictBasis::NotPhotograph:
      return "not_photograph";
    case TVerdictBasis::Nothing:
      break;
  }
  return "nothing";
}

const char* VerdictKey(TVerdict verdict) {
  switch (verdict) {
    case TVerdict::Detectable:
      return "detectable";
    case TVerdict::Suspicious:
      return "suspicious";
    case TVerdict::Undecided:
      return "undecided";
    case TVerdict::Clean:
      break;
  }
  return "clean";
}

std::string AreaText(TArea area) {
  switch (area) {
    case TArea::Written:
      return Tr("写入区");
    case TArea::Control:
      return Tr("对照区");
    case TArea::Whole:
      break;
  }
  return Tr("全图");
}

std::string StreamText(const TTextFinding& f) {
  std::string order;
  switch (f.Order) {
    case TScanOrder::Bgr:
      order = "BGR";
      break;
    case TScanOrder::Rgb:
      order = "RGB";
      break;
    case TScanOrder::Writer:
      order = Tr("写入顺序");
      break;
    case TScanOrder::Bytes:
      order = Tr("字节顺序");
      break;
  }
  return TrF(f.MsbFirst ? N_("%1 低 %2 位 高位在前") : N_("%1 低 %2 位 低位在前"),
             {order, std::to_string(f.Bits)});
}

std::string BasisText(TVerdictBasis basis) {
  switch (basis) {
    case TVerdictBasis::Text:
      return Tr("低位里有可读文本");
    case TVerdictBasis::Estimators:
      return Tr("各通道的三种估计一致偏高");
    case TVerdictBasis::Trained:
      return Tr("训练的 ±1 检测器认为有改动");
    case TVerdictBasis::TooSmall:
      return Tr("图片太小，样本不足以判断");
    case TVerdictBasis::NotPhotograph:
      return Tr("图片大多是平坦或饱和的颜色，这些检测方法不适用");
    case TVerdictBasis::Nothing:
      break;
  }
  return Tr("各项检测都没有发现痕迹；这不等于安全：专门训练的检测器能发现更少的改动");
}

namespace {

std::string Percent(double share) {
  char text[16];
  std::snprintf(text, sizeof text, "%.1f%%", 100 * share);
  return text;
}

std::string EstimateLines(const TAnalysisReport& r) {
  std::string out;
  for (const TArea area : {TArea::Whole, TArea::Written, TArea::Control}) {
    const int a = static_cast<int>(area);
    if (area != TArea::Whole && r.ContainerBits == 0) continue;
    out += TrF("  %1嵌入率估计（综合 %2，一致 %3）\n",
               {AreaText(area), Rate(r.Fused[a]), Rate(r.Agreed[a])});
    for (const TChannelReport& c : r.Channels) {
      out += "    " + Tr(c.Name.c_str()) + ": " + RatesLine(c.Rates[a]);
      if (!c.Reliable(area)) out += Tr("（平坦或饱和，不计入结论）");
      out += "\n";
    }
  }
  out += Tr("  卡方检验:");
  for (const TChannelReport& c : r.Channels) {
    char p[16];
    std::snprintf(p, sizeof p, "%.2f", c.ChiSquareP);
    out += ' ';
    out += Tr(c.Name.c_str());
    out += " p=";
    out += p;
    if (c.ChiSquareEnd > 0) out += TrF(" 止于 %1", {std::to_string(c.ChiSquareEnd)});
  }
  return out + "\n";
}

std::string TrainedLine(const TAnalysisReport& r) {
  std::string areas;
  for (const TArea area : {TArea::Whole, TArea::Written}) {
    if (area == TArea::Written && r.ContainerBits == 0) continue;
    areas += (areas.empty() ? "" : Tr("，")) + AreaText(area) + " " +
             Rate(r.Trained[static_cast<int>(area)]);
  }
  return TrF("  训练的 ±1 检测器（有改动的概率）: %1\n", {areas});
}

std::string SaturatedLine(const TAnalysisReport& r) {
  const std::string share = Percent(r.SaturatedShare);
  // Above a few percent a stealth write is replacement on enough bytes to show.
  if (r.SaturatedShare >= 0.05) {
    return TrF(
        "  文本所在字节中 0 或 255 的比例: %1（隐蔽写入在这些字节上只能单向改动，等于替换）\n",
        {share});
  }
  return TrF("  文本所在字节中 0 或 255 的比例: %1\n", {share});
}

}  // namespace

std::string FormatReport(const TAnalysisReport& r, const std::string& fileName) {
  std::string out = fileName + "\n";
  out += TrF("  图片: %1 x %2，%3 位\n",
             {std::to_string(r.Width), std::to_string(r.Height), std::to_string(r.BitsPerPixel)});
  out += TrF("  容器: %1\n", {ContainerText(r)});
  out += TrF("  结论: %1（%2）\n", {Tr(VerdictText(r.Verdict).c_str()), BasisText(r.Basis)});
  if (r.Channels.empty()) {
    out += Tr("  嵌入率估计: 不适用（每像素不足 8 位）\n");
  } else {
    out += EstimateLines(r);
  }
  out += TrainedLine(r) + SaturatedLine(r);
  if (r.Texts.empty()) {
    out += Tr("  可读文本: 未发现\n");
  } else {
    for (const TTextFinding& f : r.Texts) out += TrF("  可读文本: %1\n", {TextFindingText(f)});
  }
  const auto whole = r.Pixels[static_cast<int>(TArea::Whole)];
  char suspicious[16], detectable[16], trained[16];
  std::snprintf(suspicious, sizeof suspicious, "%.2f", SuspiciousThreshold(whole));
  std::snprintf(detectable, sizeof detectable, "%.2f", DetectableThreshold(whole));
  std::snprintf(trained, sizeof trained, "%.2f", kTrainedThreshold);
  return out + TrF("  判定阈值（全图）: 一致估计 %1 可疑、%2 容易被检测；训练的检测器 %3 可疑"
                   "（\"-\" 表示样本太少或不适用）\n",
                   {suspicious, detectable, trained});
}

std::string FormatReportLine(const TAnalysisReport& r, const std::string& fileName) {
  std::string out =
      fileName + ": " + Tr(VerdictText(r.Verdict).c_str()) + Tr("；") + ContainerText(r);
  for (const TArea area : {TArea::Whole, TArea::Written, TArea::Control}) {
    if (area != TArea::Whole && r.ContainerBits == 0) continue;
    out += Tr("；") + AreaText(area) + " " + Rate(r.Fused[static_cast<int>(area)]);
  }
  if (!r.Texts.empty())
    out +=
        TrF("；可读文本 %1 \"%2\"", {StreamText(r.Texts.front()), OneLine(r.Texts.front().Start)});
  return out;
}

namespace {

// The report names a channel in the program's language; scripts get one English word for it
// whatever the language.
std::string ChannelKey(const std::string& name) {
  static const std::pair<std::string_view, std::string_view> kKeys[] = {
      {"B", "blue"},  {"G", "green"},   {"R", "red"},
      {"A", "alpha"}, {"灰度", "grey"}, {"索引", "index"}};
  for (const auto& [shown, key] : kKeys) {
    if (name == shown) return std::string(key);
  }
  return name;
}

}  // namespace

std::string FormatReportJson(const TAnalysisReport& r, const std::string& fileName) {
  static const char* const kAreaKeys[] = {"whole", "written", "control"};
  static const char* const kOrderKeys[] = {"bgr", "rgb", "writer", "bytes"};
  std::string out = "{\"file\":" + JsonString(fileName) + ",\"width\":" + std::to_string(r.Width) +
                    ",\"height\":" + std::to_string(r.Height) +
                    ",\"bits_per_pixel\":" + std::to_string(r.BitsPerPixel) +
                    ",\"data_format\":" + std::to_string(r.DataFormat) +
                    ",\"container_bits\":" + std::to_string(r.ContainerBits) + ",\"verdict\":\"" +
                    VerdictKey(r.Verdict) + "\",\"basis\":\"" + BasisKey(r.Basis) +
                    "\",\"saturated\":" + JsonRate(r.SaturatedShare) + ",\"fused\":{";
  for (int a = 0; a < kAreaCount; ++a) {
    out += std::string(a ? "," : "") + "\"" + kAreaKeys[a] + "\":" + JsonRate(r.Fused[a]);
  }
  for (const auto& [key, values] : {std::pair{"agreed", &r.Agreed}, {"trained", &r.Trained}}) {
    out += std::string("},\"") + key + "\":{";
    for (int a = 0; a < kAreaCount; ++a) {
      out += std::string(a ? "," : "") + "\"" + kAreaKeys[a] + "\":" + JsonRate((*values)[a]);
    }
  }
  out += "},\"channels\":[";
  for (std::size_t i = 0; i < r.Channels.size(); ++i) {
    const TChannelReport& c = r.Channels[i];
    out += std::string(i ? "," : "") + "{\"name\":" + JsonString(ChannelKey(c.Name));
    for (int a = 0; a < kAreaCount; ++a) {
      const TRates& rates = c.Rates[a];
      out += ",\"" + std::string(kAreaKeys[a]) + "\":{\"spa\":" + JsonRate(rates.Spa) +
             ",\"rs\":" + JsonRate(rates.Rs) + ",\"ws\":" + JsonRate(rates.Ws) +
             ",\"reliable\":" + (c.Reliable(static_cast<TArea>(a)) ? "true" : "false") + "}";
    }
    out += ",\"chi_square_p\":" + JsonRate(c.ChiSquareP) +
           ",\"chi_square_end\":" + std::to_string(c.ChiSquareEnd) + "}";
  }
  out += "],\"text\":[";
  for (std::size_t i = 0; i < r.Texts.size(); ++i) {
    const TTextFinding& f = r.Texts[i];
    out += std::string(i ? "," : "") + "{\"order\":\"" + kOrderKeys[static_cast<int>(f.Order)] +
           "\",\"bits\":" + std::to_string(f.Bits) +
           ",\"msb_first\":" + (f.MsbFirst ? "true" : "false") +
           ",\"offset\":" + std::to_string(f.Offset) + ",\"length\":" + std::to_string(f.Length) +
           ",\"base64\":" + (f.Base64 ? "true" : "false") + ",\"start\":" + JsonString(f.Start) +
           "}";
  }
  return out + "]}";
}

std::string PlaneTitle(const std::string& channel) {
  return TrF("%1 最低位", {Tr(channel.c_str())});
}

std::string DifferenceTitle() {
  return Tr("写入改动");
}

std::string DifferenceText(const TWriteDifference& d) {
  return TrF("改动的字节: %1\n  其中加 1: %2\n  其中减 1: %3\n改动的像素: %4 / %5",
             {std::to_string(d.ChangedBytes), std::to_string(d.Raised), std::to_string(d.Lowered),
              std::to_string(d.ChangedPixels), std::to_string(std::int64_t{d.Width} * d.Height)});
}

std::string FormatFailureLine(const std::string& fileName, const std::string& message) {
  return TrF("%1: 无法分析：%2", {fileName, message});
}

std::string FormatFailureJson(const std::string& fileName, const std::string& message) {
  return "{\"file\":" + JsonString(fileName) + ",\"error\":" + JsonString(message) + "}";
}

}  // namespace pennacrow::analysis
