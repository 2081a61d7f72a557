#include "cli/auto_units.h"

#include <sstream>

namespace cli {

namespace {

// A value in a unit file: "%" starts a specifier, so it is doubled.
std::string Specifiers(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '%' ? std::string("%%") : std::string(1, c);
    return out;
}

// One word of a command line or an assignment in double quotes, as systemd
// reads ExecStart= and Environment=: backslash and quote escaped.
std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return Specifiers(out + "\"");
}

// One word for /bin/sh (cron): in single quotes.
std::string ShellWord(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string Header(const char* what) {
    return std::string(kOurMark) + " it rewrites or removes this file.\n[Unit]\nDescription=" + what +
           "\nDocumentation=man:restore-rolvane-data(1)\n";
}

}  // namespace

std::string ServiceUnitText(const UnitFacts& facts) {
    std::string text = Header("Keep a version of Varnock Rolvane's contact databases") + "\n[Service]\nType=oneshot\n";
    if (facts.prefix) text += "Environment=" + Quoted("WINEPREFIX=" + *facts.prefix) + "\n";
    text += "ExecStart=" + Quoted(facts.program) + " --snapshot --scheduled\n" +
            // 75: the database is held by the program that serves it; the
            // next change or hour tries again.
            "SuccessExitStatus=75\n"
            // The notifier it starts for a problem stays to offer its action.
            "KillMode=process\n"
            "Nice=10\nIOSchedulingClass=idle\n";
    return text;
}

std::string TimerUnitText() {
    return Header("Keep a version of Varnock Rolvane's contact databases every hour") +
           "\n[Timer]\nOnCalendar=hourly\nPersistent=true\nUnit=" + kServiceUnit +
           "\n\n[Install]\nWantedBy=timers.target\n";
}

std::string PathUnitText(const UnitFacts& facts) {
    if (facts.watched.empty()) return {};
    std::string text = Header("Keep a version of Varnock Rolvane's contact databases when they change") + "\n[Path]\n";
    for (const std::string& path : facts.watched) text += "PathChanged=" + Specifiers(path) + "\n";
    return text + "Unit=" + kServiceUnit + "\n\n[Install]\nWantedBy=default.target\n";
}

bool IsOurs(const std::string& text) { return text.rfind(kOurMark, 0) == 0; }

std::vector<std::string> WatchedBy(const std::string& pathUnitText) {
    std::vector<std::string> paths;
    std::istringstream lines(pathUnitText);
    const std::string key = "PathChanged=";
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(key, 0) != 0) continue;
        std::string path;
        for (size_t i = key.size(); i < line.size(); ++i) {
            path += line[i];
            if (line[i] == '%' && i + 1 < line.size() && line[i + 1] == '%') ++i;
        }
        paths.push_back(path);
    }
    return paths;
}

std::string CrontabLine(const UnitFacts& facts) {
    // Every five minutes: an unchanged database costs a look at the store.
    std::string command;
    if (facts.prefix) command += "WINEPREFIX=" + ShellWord(*facts.prefix) + " ";
    command += ShellWord(facts.program) + " --snapshot --scheduled";
    // cron reads "%" as a line break.
    std::string escaped;
    for (char c : command) escaped += c == '%' ? std::string("\\%") : std::string(1, c);
    return "*/5 * * * * " + escaped;
}

bool FitsAUnit(const std::string& path) {
    if (path.empty() || path[0] != '/') return false;
    for (unsigned char c : path)
        if (c < 0x20 || c == 0x7f) return false;
    return true;
}

}  // namespace cli
