// The fault soak: many whole simulated updates through the real controller and library, each with
// a seeded mix of the simulator's faults, proving by count that no sequence of them leaves the
// keyboard unusable. Every run that was not a first-time success is listed with its seed, which
// replays it alone:
//   vorn_soak [--runs N] [--seed S] [--scale F] [--verbose]
// Ends with "soak: N runs, S succeeded, R recovered, B bricked, H hung"; the exit status is 0 only
// when nothing was bricked or hung.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "SoakRun.h"
#include "app/WideText.h"
#include "dovod/CDovod.h"
#include "dovod/Vs2003SingletonThreadCleanup.h"
#include "platform/Registry.h"

namespace {

struct Arguments {
  int runs = 1000;
  std::uint64_t seed = 0;
  bool seed_given = false;
  double scale = 0.02;
  bool verbose = false;
};

bool parse(int argc, char** argv, Arguments& args) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--runs" && has_value) {
      args.runs = std::atoi(argv[++i]);
      if (args.runs < 1) return false;
    } else if (arg == "--seed" && has_value) {
      args.seed = std::strtoull(argv[++i], nullptr, 10);
      args.seed_given = true;
    } else if (arg == "--scale" && has_value) {
      args.scale = std::atof(argv[++i]);
      if (!(args.scale > 0.0) || args.scale > 1.0) return false;
    } else if (arg == "--verbose") {
      args.verbose = true;
    } else {
      return false;
    }
  }
  return true;
}

// The tool's settings and host software under names of the soak's own: nothing of the user's is
// read, stopped or written.
struct Sandbox {
  explicit Sandbox(std::uint64_t tag) {
    const std::string suffix = std::to_string(tag);
    folder = std::filesystem::temp_directory_path() / ("vorn-soak-" + suffix);
    std::filesystem::create_directories(folder);
#ifndef _WIN32
    // The registry's store and the Documents folder live under these on Linux.
    setenv("XDG_CONFIG_HOME", folder.string().c_str(), 1);
    setenv("XDG_DOCUMENTS_DIR", (folder / "Documents").string().c_str(), 1);
#endif
    key = "Software\\VornSoak\\" + suffix;
    host.executable = vorn::WideFromUtf8("VornSoakHost" + suffix + ".exe");
    host.shutdown_event = vorn::WideFromUtf8("Global\\VornSoakShutdown" + suffix);
    host.shutdown_grace = std::chrono::milliseconds(0);
  }
  ~Sandbox() {
    dovod::platform::Registry::delete_key(key);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
  std::filesystem::path folder;
  std::string key;
  vorn::HostSoftwareConfig host;
};

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  if (!parse(argc, argv, args)) {
    std::fprintf(stderr, "usage: %s [--runs N] [--seed S] [--scale F (0 < F <= 1)] [--verbose]\n", argv[0]);
    return 2;
  }
  if (!args.seed_given) {
    args.seed = static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()) % 1000000000u;
  }
  dovod::Vs2003SingletonThreadCleanup cleanup;
  int result = 0;
  {
    Sandbox sandbox(args.seed);
    vorn::soak::SoakSettings settings;
    settings.scale = args.scale;
    if (args.verbose) {
      settings.echo = [](const std::wstring& line) { std::fprintf(stderr, "%s", vorn::Utf8FromWide(line).c_str()); };
    }
    vorn::soak::SoakRunner runner(settings, vorn::HostSoftware(sandbox.host, vorn::Settings(sandbox.key)));
    std::printf("soak: seed %llu, %d runs, delays x%g, a tool run hangs after %lld ms\n",
                static_cast<unsigned long long>(args.seed), args.runs, args.scale,
                static_cast<long long>(runner.hang_bound().count()));
    std::fflush(stdout);

    int succeeded = 0, recovered = 0, not_updated = 0, bricked = 0, hung = 0;
    std::vector<std::uint64_t> findings;
    for (int i = 0; i < args.runs; ++i) {
      const std::uint64_t seed = args.seed + static_cast<std::uint64_t>(i);
      const vorn::soak::RunReport report = runner.run(seed);
      const char* label = "";
      switch (report.outcome) {
        case vorn::soak::Outcome::Succeeded: ++succeeded; continue;
        case vorn::soak::Outcome::Recovered: ++recovered; label = "recovered"; break;
        case vorn::soak::Outcome::Bricked: ++bricked; label = "BRICKED"; break;
        case vorn::soak::Outcome::Hung: ++hung; label = "HUNG"; break;
      }
      if (report.not_updated) ++not_updated;
      findings.push_back(seed);
      std::printf("%s: seed %llu (replay: %s --seed %llu --runs 1)\n%s", label, static_cast<unsigned long long>(seed),
                  argv[0], static_cast<unsigned long long>(seed), report.story.c_str());
      if (report.outcome != vorn::soak::Outcome::Recovered) {
        std::printf("  last log lines of the tool:\n");
        const std::size_t from = report.log.size() > 40 ? report.log.size() - 40 : 0;
        for (std::size_t l = from; l < report.log.size(); ++l) std::printf("    %s", vorn::Utf8FromWide(report.log[l]).c_str());
      }
      std::fflush(stdout);
    }
    dovod::CDovod::instance().reset();

    std::printf("runs: %d\nsucceeded first time: %d\nrecovered by a second run: %d (left on 5.1.16 by it: %d)\n"
                "bricked: %d\nhung: %d\n", args.runs, succeeded, recovered, not_updated, bricked, hung);
    std::printf("seeds not a first-time success:");
    for (std::uint64_t s : findings) std::printf(" %llu", static_cast<unsigned long long>(s));
    std::printf("\nsoak: %d runs, %d succeeded, %d recovered, %d bricked, %d hung\n", args.runs, succeeded, recovered,
                bricked, hung);
    result = bricked == 0 && hung == 0 ? 0 : 1;
  }
  return result;
}
