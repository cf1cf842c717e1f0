#include "dataset/covariate_selection.h"

#include <algorithm>
#include <cstddef>
#include <set>

namespace {

std::vector<std::string> splitAtCommas(const std::string& list) {
  std::vector<std::string> items;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = list.find(',', start);
    const std::string item = list.substr(start, comma - start);
    if (!item.empty()) items.push_back(item);  // "age," selects age
    if (comma == std::string::npos) return items;
    start = comma + 1;
  }
}

// Column of a covariate number from 1, or -1 when the text is no such number.
int columnOfNumber(const std::string& text, int count) {
  if (text.empty() || text.size() > 9) return -1;
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return -1;
  }
  const int number = std::stoi(text);
  return number >= 1 && number <= count ? number - 1 : -1;
}

int columnOfName(const std::string& text, const std::vector<std::string>& names) {
  const auto found = std::find(names.begin(), names.end(), text);
  return found == names.end() ? -1 : static_cast<int>(found - names.begin());
}

}  // namespace

bool selectCovariateColumns(const std::string& list, bool byNumber,
                            const std::vector<std::string>& names, int count,
                            std::vector<int>& columns, std::string& problem) {
  columns.clear();
  const char* option = byNumber ? "--covar-number " : "--covar-name ";
  if (!byNumber && static_cast<int>(names.size()) != count) {
    problem = std::string(option) + list +
              ": the covariates file has no header line naming its " + std::to_string(count) +
              " covariates.";
    return false;
  }
  auto columnOf = [&](const std::string& text) {
    return byNumber ? columnOfNumber(text, count) : columnOfName(text, names);
  };
  std::set<int> chosen;
  for (const std::string& item : splitAtCommas(list)) {
    // A name may itself hold a dash: the whole item is tried before it is read as a range.
    int first = columnOf(item);
    int last = first;
    const std::size_t dash = item.find('-');
    if (first < 0 && dash != std::string::npos) {
      first = columnOf(item.substr(0, dash));
      last = columnOf(item.substr(dash + 1));
    }
    if (first < 0 || last < 0) {
      problem = std::string(option) + list + ": \"" + item + "\" is not " +
                (byNumber ? "a covariate number from 1 to " + std::to_string(count)
                          : "a covariate name of the header line") +
                ".";
      return false;
    }
    for (int c = std::min(first, last); c <= std::max(first, last); ++c) chosen.insert(c);
  }
  if (chosen.empty()) {
    problem = std::string(option) + list + ": no covariate chosen.";
    return false;
  }
  columns.assign(chosen.begin(), chosen.end());
  return true;
}
