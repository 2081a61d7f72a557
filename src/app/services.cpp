#include "app/services.h"

#include <climits>
#include <cstdlib>

#include "app/lock_file_check.h"
#include "app/locate_data.h"
#include "jet/libmdb_engine.h"
#include "jet/reader_check.h"

namespace app {

Platform::Platform(const ports::HostEnvironment& env, std::ostream& log, std::string readerPath)
    : env_(env),
      location_(LocateData(env, log)),
      paths_(location_.prefix),
      files_(paths_),
      shell_(location_.prefix, env_),
      lock_(paths_),
      readerPath_(std::move(readerPath)) {}

std::string Platform::HostPath(const std::string& path) const {
    const std::string host = paths_.ToHost(path);
    // A file that does not exist (yet) is named through the folder that does.
    char resolved[PATH_MAX];
    for (size_t end = host.size(); end != std::string::npos && end > 0; end = host.rfind('/', end - 1)) {
        if (realpath(host.substr(0, end).c_str(), resolved)) return std::string(resolved) + host.substr(end);
    }
    return host;
}

common::Services Platform::Services(ports::MessageBox& msgbox, ports::Process& process,
                                   const ports::PathPresenter& paths, ports::Files* files) {
    const auto present = [&paths](const std::string& path) { return paths.Present(path); };
    common::Services services(
        files ? *files : files_, shell_, msgbox, process, locale_, lock_, stops_,
        [this, present] {
            return std::make_unique<jet::LibmdbEngine>([this](const std::string& path) { return paths_.ToHost(path); },
                                                       readerPath_, present);
        },
        paths);
    services.makeCheck = [this, &paths] { return MakeCheck(paths); };
    return services;
}

std::unique_ptr<ports::FileCheck> Platform::MakeCheck(const ports::PathPresenter& paths) const {
    auto toHost = [this](const std::string& path) { return paths_.ToHost(path); };
    auto present = [&paths](const std::string& path) { return paths.Present(path); };
    return std::make_unique<LockFileCheck>(
        std::make_unique<jet::ReaderCheck>(toHost, readerPath_, jet::ReaderLimits{}, present), toHost);
}

}  // namespace app
