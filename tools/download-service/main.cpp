// kvpro-download-service: the reference download service for tests, demos and operators.
// Prints "primary=<port>" and "secondary=<port>" once it listens; stops on SIGTERM or SIGINT.

#include <sys/prctl.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "service.h"

namespace {

void PrintUsage() {
    std::cerr <<
        R"(usage: kvpro-download-service [options]
  --host ADDR              listen address (127.0.0.1)
  --primary-port N         primary server port (0: any free port)
  --secondary-port N       secondary server port (0: any free port)
  --log FILE               request log, one JSON object per line (download-service.jsonl)
  --files DIR              folder of the setup files served under /files/ (.)
  --trial-file NAME        setup file of the trial edition (kvpro-trial-setup.exe)
  --paid-file NAME         setup file of the paid edition (kvpro-setup.exe)
  --primary-faults LIST    fault switches of the primary port, e.g. status=404,cut=100
  --secondary-faults LIST  fault switches of the secondary port
  --hold-ms N              longest stall or silence (60000)
  --exit-with-parent 1     stop when the starting process ends, however it ends
Fault switches: status=N empty nolength cut=N stall=N trickle=BYTES[:MS] garble emptytext
  noheaders refuse length=TEXT chunked noranges newetag badrange; at run time:
  GET /_control?[port=primary|secondary|both&]reset=1&...
  cut=N closes every answer after N body bytes, cut=P% after P percent of the whole file (also
  a range answer, so a client that resumes gets further each time); noranges answers every
  range request with the whole file (200); newetag gives every answer a new ETag and
  Last-Modified (so If-Range never holds); badrange answers a range request with a range that
  starts elsewhere (labelled as such in Content-Range).
  A run-time switch applies to the setup files (and /blob/) and to the query (and /collect)
  unless scope=files or scope=query limits it; reset=1 with a scope clears that scope only.
Other run-time settings: answer=URL (the query seals this URL; answer= restores the real one),
  trial_file=NAME, paid_file=NAME (the files served for the editions).
Usage-event hits: GET /collect?<hit> on either port, logged with their decoded keys in order.
Setup files and /blob/ answers carry ETag, Last-Modified and Accept-Ranges: bytes and honour
  Range: bytes=N- (or N-M) with If-Range; the log names the Range and If-Range asked for, numbers
  each answer ("id") and, in an "event":"sent" line with that id when the answer ends, gives the
  body bytes actually sent.
)";
}

bool ParseArguments(int argc, char** argv, kvservice::Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") return false;
        if (i + 1 >= argc) {
            std::cerr << "missing value for " << arg << "\n";
            return false;
        }
        const std::string value = argv[++i];
        std::string error;
        try {
            if (arg == "--host") {
                options.host = value;
            } else if (arg == "--primary-port") {
                options.ports[0] = std::stoi(value);
            } else if (arg == "--secondary-port") {
                options.ports[1] = std::stoi(value);
            } else if (arg == "--log") {
                options.logPath = value;
            } else if (arg == "--files") {
                options.filesDir = value;
            } else if (arg == "--trial-file") {
                options.trialFile = value;
            } else if (arg == "--paid-file") {
                options.paidFile = value;
            } else if (arg == "--exit-with-parent") {
                if (value == "1") prctl(PR_SET_PDEATHSIG, SIGTERM);
            } else if (arg == "--hold-ms") {
                options.holdMs = std::stoll(value);
            } else if (arg == "--primary-faults" || arg == "--secondary-faults") {
                auto& faults = options.faults[arg == "--primary-faults" ? 0 : 1];
                if (!kvservice::ApplyFaultText(value, faults, error)) {
                    std::cerr << "bad fault switch " << error << "\n";
                    return false;
                }
            } else {
                std::cerr << "unknown option " << arg << "\n";
                return false;
            }
        } catch (const std::exception&) {
            std::cerr << "bad value for " << arg << ": " << value << "\n";
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    kvservice::Options options;
    if (!ParseArguments(argc, argv, options)) {
        PrintUsage();
        return 2;
    }
    // Every thread inherits the blocked signals; the main thread alone waits for them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    kvservice::Service service(options);
    if (!service.Context().log.IsOpen() && !options.logPath.empty()) {
        std::cerr << "cannot open log " << options.logPath << "\n";
        return 1;
    }
    if (!service.Start()) {
        std::cerr << "cannot listen on " << options.host << "\n";
        return 1;
    }
    std::printf("primary=%d\nsecondary=%d\n", service.Port(kvservice::PortId::Primary),
                service.Port(kvservice::PortId::Secondary));
    std::fflush(stdout);
    service.Context().log.Write(
        kvservice::JsonLine()
            .Add("event", "started")
            .Add("primary_port", service.Port(kvservice::PortId::Primary))
            .Add("secondary_port", service.Port(kvservice::PortId::Secondary)));

    int received = 0;
    sigwait(&stopSignals, &received);
    service.Stop();
    service.Context().log.Write(kvservice::JsonLine().Add("event", "stopped"));
    return 0;
}
