#include "replace_question.h"

#include <cctype>
#include <string>

#include "convert_core.h"

namespace rules {

std::optional<ReplaceChoice> terminalChoice(std::string_view answer) {
    std::string word;
    for (const char c : answer) {
        if (!std::isspace(static_cast<unsigned char>(c))) {
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    if (word.empty() || word == "n" || word == "no") {
        return ReplaceChoice::No;
    }
    if (word == "y" || word == "yes") {
        return ReplaceChoice::Yes;
    }
    if (word == "a") {
        return ReplaceChoice::YesToAll;
    }
    if (word == "o") {
        return ReplaceChoice::NoToAll;
    }
    if (word == "q") {
        return ReplaceChoice::Cancel;
    }
    return std::nullopt;
}

std::optional<int> ReplaceAnswers::standing() const {
    const int answer = standing_;
    if (answer == kNone) {
        return std::nullopt;
    }
    return answer;
}

int ReplaceAnswers::take(ReplaceChoice choice) {
    switch (choice) {
        case ReplaceChoice::Yes:
            return ConfirmReplace;
        case ReplaceChoice::YesToAll:
            standing_ = ConfirmReplace;
            return ConfirmReplace;
        case ReplaceChoice::No:
            return ConfirmKeep;
        case ReplaceChoice::NoToAll:
            standing_ = ConfirmKeep;
            return ConfirmKeep;
        case ReplaceChoice::Cancel:
            return ConfirmKeepAndStop;
    }
    return ConfirmKeep;
}

}  // namespace rules
