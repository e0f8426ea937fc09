// What the stand-in host holds while it runs one command: the dialog
// parameters, the answers it gives to dialogs and questions, and the log.
#pragma once

#include <deque>
#include <map>
#include <optional>
#include <string>

namespace meshbridge::standin {

struct HostVersion {
    int first = 2;
    int second = 10;
    int third = 0;
};

// Answers given once for a run, each to the questions of one kind, after the
// --answer values are used up.
struct StandingAnswers {
    std::optional<int> mapChoice;          // "Which values does X hold?": 1 to 5
    std::optional<bool> thickness;         // thickness (yes) or curvature (no) of shape values
    std::optional<double> firstDof, secondDof;
    std::optional<int> repetitionTimeMs;   // the TR of a time course
};

class HostSession {
public:
    static HostSession& current();

    HostVersion version;
    std::map<std::string, std::string> parameters;
    std::deque<std::string> dialogFiles;   // answers to file dialogs, in order
    std::deque<std::string> answers;       // answers to questions, in order; then the standing answers
    StandingAnswers standing;              // then the terminal

    // A file dialog: the next FILE argument, or nothing (cancelled).
    std::optional<std::string> answerFileDialog(const std::string& title, const std::string& filter);
    // A yes/no question: the next answer, the terminal, or "no".
    bool answerYesNo(const std::string& question);
    // A number question (of whole numbers with `whole`): the next answer, the
    // terminal, or nothing (cancelled).
    std::optional<double> answerNumber(const std::string& prompt, double lowest, double highest, bool whole = false);

    void log(const std::string& text);
    void showMessage(const std::string& text);

private:
    std::optional<std::string> nextAnswer(const std::string& question, const char*& source);
    std::optional<std::string> standingAnswer(const std::string& question, const char*& source) const;
};

}  // namespace meshbridge::standin
