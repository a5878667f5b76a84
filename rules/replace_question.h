#pragma once

// The answers to the replace question: for this file, or for the rest of the batch, or keep the
// file and stop the batch. Every front end offers the same five with the same meanings.

#include <atomic>
#include <optional>
#include <string_view>

namespace rules {

enum class ReplaceChoice {
    Yes,       // replace this file
    YesToAll,  // replace this one and every later one of the batch, unasked
    No,        // keep this file
    NoToAll,   // keep this one and every later one of the batch, unasked
    Cancel,    // keep this file and stop the batch (also Esc and the window's close box)
};

struct ReplaceButton {
    ReplaceChoice choice;
    const char* text;  // '&' marks the mnemonic
};

// In the order shown; the first is the default.
inline constexpr ReplaceButton kReplaceButtons[] = {
    {ReplaceChoice::Yes, "&Yes"},      {ReplaceChoice::YesToAll, "Yes to &All"},
    {ReplaceChoice::No, "&No"},        {ReplaceChoice::NoToAll, "N&o to All"},
    {ReplaceChoice::Cancel, "Cancel"},
};

// What the terminal question offers after its text; an empty answer is No.
inline constexpr const char* kTerminalReplaceChoices = " [y/N/a/o/q] ";

// The terminal's answer: y (yes), n (no), a (yes to all), o (no to all), q (keep and stop), in
// either case, blanks around ignored; "yes" and "no" spelled out too. An empty answer is No;
// anything else is no answer (asked again).
std::optional<ReplaceChoice> terminalChoice(std::string_view answer);

// The answers of one batch: a "to all" answers every later question of the batch. Safe to use
// from several threads (engines that run one batch side by side).
class ReplaceAnswers {
public:
    // The engine's answer (a ConfirmAnswer) when an earlier "to all" settles the question
    // without asking; nothing when the user must be asked.
    std::optional<int> standing() const;
    // The engine's answer for the user's choice; a "to all" is remembered for the batch.
    int take(ReplaceChoice choice);
    // A new batch: nothing is settled.
    void reset() { standing_ = kNone; }

private:
    static constexpr int kNone = -1;
    std::atomic<int> standing_{kNone};
};

}  // namespace rules
