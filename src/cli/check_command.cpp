#include "cli/check_command.h"

#include <filesystem>
#include <optional>

#include <nlohmann/json.hpp>

#include "records/places.h"
#include "records/render.h"

namespace cli {

namespace {

struct Checked {
    std::optional<std::string> caption;  // "Business Backup 2"; none for a file named
    std::string path;                    // as the check is given it
    std::string file;                    // on this machine
    ports::CheckResult result;
};

const char* VerdictName(ports::Verdict v) {
    switch (v) {
    case ports::Verdict::Good: return "good";
    case ports::Verdict::Warnings: return "warnings";
    case ports::Verdict::Damaged: return "damaged";
    }
    return "damaged";
}

std::string TextOf(const std::vector<Checked>& files) {
    std::string text;
    for (const Checked& c : files) {
        const ports::CheckResult& r = c.result;
        text += records::Escaped(c.caption ? *c.caption : c.file) + ": ";
        switch (r.verdict()) {
        case ports::Verdict::Good: text += "good"; break;
        case ports::Verdict::Warnings: text += "warnings: " + std::to_string(r.Count(ports::Severity::Warning)); break;
        case ports::Verdict::Damaged: text += "damaged: " + records::Escaped(ports::Describe(*r.First(ports::Severity::Damaged))); break;
        }
        text += "\n";
        for (const ports::Finding& f : r.findings)
            text += std::string("  ") + ports::SeverityName(f.severity) + ": " + records::Escaped(ports::Describe(f)) + "\n";
    }
    return text;
}

std::string JsonOf(const std::vector<Checked>& files) {
    using Json = nlohmann::ordered_json;
    Json array = Json::array();
    for (const Checked& c : files) {
        Json findings = Json::array();
        for (const ports::Finding& f : c.result.findings) {
            Json o;
            o["severity"] = ports::SeverityName(f.severity);
            o["what"] = f.what;
            o["table"] = f.table.empty() ? Json(nullptr) : Json(f.table);
            o["page"] = f.page ? Json(*f.page) : Json(nullptr);
            o["row"] = f.row ? Json(*f.row) : Json(nullptr);
            findings.push_back(std::move(o));
        }
        Json o;
        o["file"] = c.file;
        o["caption"] = c.caption ? Json(*c.caption) : Json(nullptr);
        o["verdict"] = VerdictName(c.result.verdict());
        o["findings"] = std::move(findings);
        array.push_back(std::move(o));
    }
    return array.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace

int RunCheckCommand(const app::ConsoleCommand& command, CheckRun& run) {
    std::vector<Checked> files;
    if (!command.within.empty()) {
        const std::optional<records::Place> version = run.version ? run.version(command.within) : std::nullopt;
        if (!version) return app::kFailed;
        files.push_back({command.edition + " " + version->caption, version->path, run.hostPath(version->path), {}});
    } else if (!command.files.empty()) {
        for (const std::string& f : command.files) {
            std::error_code ignored;
            const std::string absolute = std::filesystem::absolute(f, ignored).lexically_normal().string();
            files.push_back({std::nullopt, absolute.empty() ? f : absolute, absolute.empty() ? f : absolute, {}});
        }
    } else {
        for (const char* edition : {"Business", "Personal"}) {
            if (!command.edition.empty() && command.edition != edition) continue;
            for (const records::Place& place : records::PlacesOf(run.sys, run.found.rows, edition))
                files.push_back({std::string(edition) + " " + place.caption, place.path, run.hostPath(place.path), {}});
        }
        if (files.empty()) {
            run.say(command.edition.empty() ? "There is no database of either edition to check."
                                            : "There is no database of the " + command.edition + " edition to check.");
            return app::kFailed;
        }
    }
    bool damaged = false;
    for (Checked& c : files) {
        c.result = run.sys.Check().Check(c.path);
        damaged = damaged || c.result.verdict() == ports::Verdict::Damaged;
    }
    const std::string text = command.json ? JsonOf(files) : TextOf(files);
    std::fwrite(text.data(), 1, text.size(), run.out);
    return damaged ? app::kFailed : app::kDone;
}

}  // namespace cli
