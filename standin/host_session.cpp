#include "standin/host_session.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "standin/terminal.h"

namespace meshbridge::standin {

namespace {

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The question on one line, for the report on standard error.
std::string oneLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            if (!line.empty() && line.back() != ' ') line += ' ';
        } else {
            line += c;
        }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

// An --answer that answers nothing is a usage error: the run stops with exit
// status 2 (no file has been written: every write is complete or not done).
[[noreturn]] void refuseAnswer(const std::string& answer, const std::string& what, const std::string& question) {
    std::cout << std::flush;
    std::cerr << "meshbridge: --answer " << answer << " is no answer to the " << what << " \"" << oneLine(question)
              << "\"\n"
              << std::flush;
    std::exit(2);
}

std::string numberText(double value, bool whole) {
    if (whole) return std::to_string(static_cast<long long>(value));
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace

HostSession& HostSession::current() {
    static HostSession session;
    return session;
}

std::optional<std::string> HostSession::answerFileDialog(const std::string& title,
                                                         const std::string& filter) {
    if (dialogFiles.empty()) {
        std::cerr << "meshbridge: file dialog \"" << title << "\" (" << filter
                  << "): cancelled, no FILE argument left\n";
        return std::nullopt;
    }
    std::string file = dialogFiles.front();
    dialogFiles.pop_front();
    std::cerr << "meshbridge: file dialog \"" << title << "\" (" << filter << "): " << file << "\n";
    return file;
}

std::optional<std::string> HostSession::standingAnswer(const std::string& question, const char*& source) const {
    const auto has = [&](const char* words) { return question.find(words) != std::string::npos; };
    if (question.rfind("Which values does ", 0) == 0 && standing.mapChoice) {
        source = "from --map-type";
        return std::to_string(*standing.mapChoice);
    }
    if (has("Is this a Cortical Thickness (Yes) or Curvature (No)") && standing.thickness) {
        source = "from --map-type and the file's name";
        return *standing.thickness ? "yes" : "no";
    }
    if (has("first degrees of freedom") && standing.firstDof) {
        source = "from --dof";
        return numberText(*standing.firstDof, false);
    }
    if (has("second degrees of freedom") && standing.secondDof) {
        source = "from --dof";
        return numberText(*standing.secondDof, false);
    }
    if (has("repetition time (TR)") && standing.repetitionTimeMs) {
        source = "from --tr";
        return std::to_string(*standing.repetitionTimeMs);
    }
    return std::nullopt;
}

std::optional<std::string> HostSession::nextAnswer(const std::string& question, const char*& source) {
    if (!answers.empty()) {
        std::string answer = answers.front();
        answers.pop_front();
        source = "from --answer";
        return answer;
    }
    if (std::optional<std::string> answer = standingAnswer(question, source)) return answer;
    if (isTerminal(stdin)) {
        std::cerr << question << "\n> " << std::flush;
        std::string line;
        if (std::getline(std::cin, line)) {
            source = "at the terminal";
            return line;
        }
    }
    source = "no answer given";
    return std::nullopt;
}

bool HostSession::answerYesNo(const std::string& question) {
    const char* source = "";
    const std::optional<std::string> answer = nextAnswer(question, source);
    bool yes = false;
    std::string how = "cancelled, taken as no";
    if (answer) {
        const std::string word = lowered(*answer);
        if (word == "yes" || word == "y" || word == "1") {
            yes = true;
            how = "yes";
        } else if (word == "no" || word == "n" || word == "0") {
            how = "no";
        } else if (std::string(source) == "from --answer") {
            refuseAnswer(*answer, "yes/no question", question);
        } else {
            how = "'" + *answer + "' is neither yes nor no, taken as no";
        }
    }
    std::cerr << "meshbridge: question \"" << oneLine(question) << "\": " << how << " (" << source
              << ")\n";
    return yes;
}

std::optional<double> HostSession::answerNumber(const std::string& prompt, double lowest, double highest,
                                                bool whole) {
    const char* source = "";
    const std::optional<std::string> answer = nextAnswer(prompt, source);
    std::optional<double> value;
    std::string how = "cancelled";
    if (answer) {
        char* end = nullptr;
        const double number = std::strtod(answer->c_str(), &end);
        const bool fromOption = std::string(source) == "from --answer";
        const bool readable = end != answer->c_str() && *end == '\0' && std::isfinite(number);
        if (fromOption && (!readable || (whole && number != std::floor(number))))
            refuseAnswer(*answer, whole ? "whole-number question" : "number question", prompt);
        if (!readable) {
            how = "'" + *answer + "' is not a number, taken as cancelled";
        } else if (whole && number != std::floor(number)) {
            how = "'" + *answer + "' is not a whole number, taken as cancelled";
        } else if (number < lowest || number > highest) {
            how = "'" + *answer + "' is outside " + numberText(lowest, whole) + " to " + numberText(highest, whole) +
                  ", taken as cancelled";
        } else {
            value = number;
            how = *answer;
        }
    }
    std::cerr << "meshbridge: question \"" << oneLine(prompt) << "\": " << how << " (" << source
              << ")\n";
    return value;
}

void HostSession::log(const std::string& text) {
    std::cout << text << "\n" << std::flush;
}

void HostSession::showMessage(const std::string& text) {
    std::cout << std::flush;
    std::cerr << "meshbridge: [message box] " << text << "\n" << std::flush;
}

}  // namespace meshbridge::standin
