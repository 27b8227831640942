// Setup files from the files folder, and generated bodies of any size for transfer tests.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "service.h"

namespace kvservice {
namespace {

// Closes the descriptor when the last piece of the answer has gone out.
struct SharedFile {
    int fd = -1;
    ~SharedFile() {
        if (fd >= 0) ::close(fd);
    }
};

void HandleFile(ServiceContext& context, PortId port, const httplib::Request& request,
                httplib::Response& response) {
    const std::string name = request.matches[1];
    JsonLine record = RequestRecord(port, request);
    const std::string path = context.options.filesDir + "/" + name;
    auto file = std::make_shared<SharedFile>();
    struct stat info {};
    if (SafeFileName(name)) file->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file->fd < 0 || ::fstat(file->fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        context.log.Write(record.Add("status", 404));
        response.status = 404;
        response.set_content("no such file\n", "text/plain");
        return;
    }
    BodySource body;
    body.size = info.st_size;
    body.ranged = true;
    // Changes whenever the file is replaced or rewritten.
    body.tag = std::to_string(info.st_ino) + "-" + std::to_string(info.st_size) + "-" +
               std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec);
    body.modified = info.st_mtim.tv_sec;
    body.read = [file](int64_t offset, char* out, size_t count) -> size_t {
        const ssize_t n = ::pread(file->fd, out, count, offset);
        return n > 0 ? static_cast<size_t>(n) : 0;
    };
    RespondWithFaults(context, port, request, response, context.FaultsOf(port, Scope::Files),
                      std::move(body), "application/octet-stream", std::move(record));
}

// /blob/<size>: byte i of the body is i mod 251, so a client can check every byte. Fault
// switches in the query apply to this answer only, on top of the port's.
void HandleBlob(ServiceContext& context, PortId port, const httplib::Request& request,
                httplib::Response& response) {
    JsonLine record = RequestRecord(port, request);
    Faults faults = context.FaultsOf(port, Scope::Files);
    std::string error;
    int64_t size = -1;
    try {
        size = std::stoll(request.matches[1]);
    } catch (...) {
    }
    if (size < 0 || !ApplyFaultParameters(request.params, faults, error, false)) {
        context.log.Write(record.Add("status", 400).Add("error", error));
        response.status = 400;
        response.set_content("bad request " + error + "\n", "text/plain");
        return;
    }
    BodySource body;
    body.size = size;
    body.read = [size](int64_t offset, char* out, size_t count) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(count, size - offset));
        for (size_t i = 0; i < n; ++i) out[i] = static_cast<char>((offset + i) % 251);
        return n;
    };
    // The same size always has the same bytes.
    body.ranged = true;
    body.tag = "blob-" + std::to_string(size);
    body.modified = 1700000000;
    RespondWithFaults(context, port, request, response, faults, std::move(body),
                      "application/octet-stream", std::move(record));
}

}  // namespace

void RegisterFileRoutes(httplib::Server& server, ServiceContext& context, PortId port) {
    server.Get(R"(/files/([^/]+))",
               [&context, port](const httplib::Request& req, httplib::Response& res) {
                   HandleFile(context, port, req, res);
               });
    server.Get(R"(/blob/(\d+))",
               [&context, port](const httplib::Request& req, httplib::Response& res) {
                   HandleBlob(context, port, req, res);
               });
}

}  // namespace kvservice
