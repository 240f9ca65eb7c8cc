#include "cli/DidYouMean.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <tuple>

#include "base/Instruments.h"

namespace vocara::cli {
namespace {

constexpr std::size_t MostNames = 3;

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  for (const char c : Lower(text) + ' ') {
    if (c != ' ') {
      word += c;
    } else if (!word.empty()) {
      words.push_back(word);
      word.clear();
    }
  }
  return words;
}

// How many edits a word of `typed` may be off: one for a short word, two for a longer one.
std::size_t EditsAllowed(std::string_view typed) { return typed.size() <= 5 ? 1 : 2; }

// The names of the best score (a lower one better) in their order, at most MostNames.
template <typename Score>
std::vector<std::string_view> Best(const std::vector<std::pair<Score, std::string_view>>& scored) {
  std::vector<std::string_view> best;
  if (scored.empty()) return best;
  const Score lowest = std::min_element(scored.begin(), scored.end(), [](const auto& a, const auto& b) {
                         return a.first < b.first;
                       })->first;
  for (const auto& [score, name] : scored)
    if (score == lowest && best.size() < MostNames) best.push_back(name);
  return best;
}

}  // namespace

std::size_t EditDistance(std::string_view a, std::string_view b) {
  const std::string x = Lower(a);
  const std::string y = Lower(b);
  // Three rows of the table: the two before this one, for the swap.
  std::vector<std::size_t> before(y.size() + 1), last(y.size() + 1), row(y.size() + 1);
  for (std::size_t j = 0; j <= y.size(); ++j) last[j] = j;
  for (std::size_t i = 1; i <= x.size(); ++i) {
    row[0] = i;
    for (std::size_t j = 1; j <= y.size(); ++j) {
      row[j] = std::min({last[j] + 1, row[j - 1] + 1, last[j - 1] + (x[i - 1] == y[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && x[i - 1] == y[j - 2] && x[i - 2] == y[j - 1])
        row[j] = std::min(row[j], before[j - 2] + 1);
    }
    before.swap(last);
    last.swap(row);
  }
  return last[y.size()];
}

std::vector<std::string_view> CloseNames(std::string_view typed, std::span<const std::string_view> names) {
  std::vector<std::pair<std::size_t, std::string_view>> scored;
  const std::string lower = Lower(typed);
  for (const std::string_view name : names) {
    const std::size_t edits = EditDistance(lower, name);
    if (name == typed) continue;  // not a mistake
    if (edits <= 2 && edits < lower.size()) {
      scored.emplace_back(edits, name);
    } else if (lower.size() >= 2 && name.starts_with(lower)) {
      scored.emplace_back(3, name);
    }
  }
  std::vector<std::string_view> best = Best(scored);
  std::sort(best.begin(), best.end());
  return best;
}

std::vector<std::string_view> CloseInstruments(std::string_view typed) {
  const std::string lower = Lower(typed);
  const std::vector<std::string> typedWords = Words(typed);
  if (typedWords.empty()) return {};
  // (how it matches: 0 words, 1 a part, 2 edits; how many edits; not a voice)
  using Score = std::tuple<int, std::size_t, bool>;
  std::vector<std::pair<Score, std::string_view>> scored;
  for (const Instrument& instrument : InstrumentTable) {
    const std::string name = Lower(instrument.name);
    const std::vector<std::string> words = Words(instrument.name);
    const bool other = !name.starts_with("vocal ");
    const auto hasWord = [&words](const std::string& w) {
      return std::find(words.begin(), words.end(), w) != words.end();
    };
    const bool startsAWord = std::any_of(words.begin(), words.end(),
                                         [&lower](const std::string& w) { return w.starts_with(lower); });
    // Each typed word against the name's nearest word; the worst of them counts.
    std::size_t wordEdits = 0;
    for (const std::string& typedWord : typedWords) {
      std::size_t nearest = std::numeric_limits<std::size_t>::max();
      for (const std::string& word : words) nearest = std::min(nearest, EditDistance(typedWord, word));
      wordEdits = nearest <= EditsAllowed(typedWord) ? std::max(wordEdits, nearest) : 99;
      if (wordEdits == 99) break;
    }
    const std::size_t nameEdits = EditDistance(lower, name);
    if (std::all_of(typedWords.begin(), typedWords.end(), hasWord)) {
      scored.push_back({{0, 0, other}, instrument.name});
    } else if (lower.size() >= 3 && (startsAWord || name.find(lower) != std::string::npos)) {
      scored.push_back({{1, 0, other}, instrument.name});
    } else if (nameEdits <= EditsAllowed(lower) || wordEdits != 99) {
      scored.push_back({{2, std::min(nameEdits, wordEdits), other}, instrument.name});
    }
  }
  return Best(scored);
}

std::string WithSuggestion(std::string problem, const std::vector<std::string_view>& names) {
  if (names.empty()) return problem;
  problem += "\nvocara-cli: did you mean ";
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) problem += i + 1 == names.size() ? " or " : ", ";
    problem.append(1, '\'').append(names[i]).append(1, '\'');
  }
  return problem + "?";
}

}  // namespace vocara::cli
