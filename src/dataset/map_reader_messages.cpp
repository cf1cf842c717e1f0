#include "dataset/map_reader_messages.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "dataset/dataset.h"

namespace {

// The whitespace the stream extraction skips (the classic locale's).
bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A word of a file that may not be text at all, cut to a length that fits a message.
std::string shown(std::string_view text) {
  constexpr size_t longest = 60;
  if (text.size() <= longest) return std::string(text);
  return std::string(text.substr(0, longest)) + "...";
}

enum class codeReading { whole, outOfRange, notWhole };

// Whether the whole of word is what the stream extraction reads as a 32-bit integer (a sign,
// then digits). Of a word such as "1x" it takes the 1 and leaves "x" to the next field.
codeReading readAsChromosome(std::string_view word) {
  std::string_view digits = word;
  if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) digits.remove_prefix(1);
  if (digits.empty() || !std::all_of(digits.begin(), digits.end(),
                                     [](char c) { return c >= '0' && c <= '9'; })) {
    return codeReading::notWhole;
  }
  std::string_view number = word[0] == '+' ? digits : word;
  int32_t value = 0;
  const auto [end, fault] = std::from_chars(number.data(), number.data() + number.size(), value);
  return fault == std::errc() ? codeReading::whole : codeReading::outOfRange;
}

// What is wrong with the record that begins with the word at offset at of text.
std::string stopCause(std::string_view text, size_t at, bool firstOnLine) {
  const size_t wordEnd = std::min(text.size(), text.find_first_of(" \t\n\v\f\r", at));
  const std::string_view word = text.substr(at, wordEnd - at);
  // Records are not lines, so a line with a word too few or too many moves every later field.
  const std::string shifted =
      firstOnLine ? "" : " (the words of the file are read four to a SNP, whatever its lines)";
  const codeReading reading = readAsChromosome(word);
  if (reading != codeReading::whole) {
    const std::string fault =
        reading == codeReading::notWhole ? "is not a whole number" : "is out of range";
    if (firstOnLine) return "whose chromosome code \"" + shown(word) + "\" " + fault;
    return "where \"" + shown(word) + "\", read as a chromosome code, " + fault + shifted;
  }
  // The chromosome reads: the genetic distance or the position does not, or the file ends.
  size_t lineEnd = std::min(text.size(), text.find('\n', at));
  while (lineEnd > at && isBlank(text[lineEnd - 1])) --lineEnd;
  return std::string(firstOnLine ? "whose" : "where the") + " SNP record \"" +
         shown(text.substr(at, lineEnd - at)) +
         "\" does not read as chromosome code, SNP name, genetic distance and base-pair "
         "position" + shifted;
}

}  // namespace

std::string mapStopWarning(std::string_view text, size_t start, const std::string& fileName) {
  size_t at = start;
  while (at < text.size() && isBlank(text[at])) ++at;
  if (at == text.size()) return "";
  const size_t line = 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + at, '\n'));
  size_t before = at;
  while (before > 0 && isBlank(text[before - 1]) && text[before - 1] != '\n') --before;
  const bool firstOnLine = before == 0 || text[before - 1] == '\n';
  return "Warning: Reading of map file " + fileName + " stops at line " + std::to_string(line) +
         ", " + stopCause(text, at, firstOnLine) +
         ": the SNPs from there on are not part of the data set (a .ped file that has their "
         "genotypes then has too many genotypes per line).\n";
}

std::string repeatedSnpIdWarning(std::span<snpRecord* const> fileSnps,
                                 const std::string& fileName) {
  // Each id's first SNP, or -1 once the id has been counted as repeated.
  std::unordered_map<std::string_view, int64_t> firstSnp;
  firstSnp.reserve(fileSnps.size());
  int64_t repeatedIds = 0;
  std::string_view firstRepeat;
  int64_t firstAt = 0;
  int64_t secondAt = 0;
  for (size_t j = 0; j < fileSnps.size(); ++j) {
    const auto [entry, isNew] =
        firstSnp.try_emplace(fileSnps[j]->name, static_cast<int64_t>(j));
    if (isNew || entry->second < 0) continue;
    if (repeatedIds == 0) {
      firstRepeat = entry->first;
      firstAt = entry->second;
      secondAt = static_cast<int64_t>(j);
    }
    ++repeatedIds;
    entry->second = -1;
  }
  if (repeatedIds == 0) return "";
  return "Warning: " + std::to_string(repeatedIds) +
         (repeatedIds == 1 ? " SNP id occurs" : " SNP ids occur") +
         " more than once in map file " + fileName + "; the first to repeat is " +
         shown(firstRepeat) + " (SNPs " + std::to_string(firstAt + 1) + " and " +
         std::to_string(secondAt + 1) +
         " of the file). --exclude and --extract act on every SNP that has a listed id.\n";
}

std::string sexChromosomeWarning(std::span<snpRecord* const> fileSnps,
                                 const std::string& fileName) {
  const auto onSexChromosome = [](const snpRecord* snp) {
    return snp->chromosome >= 23 && snp->chromosome <= 26;
  };
  const auto first = std::find_if(fileSnps.begin(), fileSnps.end(), onSexChromosome);
  if (first == fileSnps.end()) return "";
  const auto count = std::count_if(first, fileSnps.end(), onSexChromosome);
  // plink tests X in males as haploid and leaves Y and MT out of its association tests, so a
  // SNP there gets another p (or none) on the plink routes than in process.
  return "Warning: " + std::to_string(count) + (count == 1 ? " SNP" : " SNPs") + " of map file " +
         fileName + (count == 1 ? " has" : " have") +
         " a chromosome code from 23 to 26, which plink reads as X, Y, XY and MT; the first is " +
         shown((*first)->name) + " (SNP " + std::to_string(first - fileSnps.begin() + 1) +
         " of the file, code " + std::to_string((*first)->chromosome) +
         "). The tests and estimates run in zuq treat them as autosomes, while plink (--slow, "
         "--useplink, --R) applies its rules for sex chromosomes and mitochondria: the two "
         "routes can give these SNPs different results.\n";
}
