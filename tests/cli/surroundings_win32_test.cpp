// corvane-cli against what Windows puts where files belong: named pipes and
// the reserved device names.
#include <windows.h>

#include "tests/cli/cli_fixture.h"

namespace corvane::testing {
namespace {

const std::string NOT_REGULAR = "Not a regular file";

// A named pipe server of this test; the program must never connect to it
// when the pipe is given as a file to encrypt, decrypt or key with.
struct PipeServer {
    std::wstring name;
    HANDLE pipe = INVALID_HANDLE_VALUE;
    explicit PipeServer(const wchar_t* suffix) {
        name = L"\\\\.\\pipe\\corvane-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + suffix;
        pipe = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE, 1, 4096,
                                4096, 0, nullptr);
    }
    ~PipeServer() {
        if (pipe != INVALID_HANDLE_VALUE) CloseHandle(pipe);
    }
    std::string utf8() const { return std::string(name.begin(), name.end()); }
    // True when a client has come (and maybe gone) since the pipe was made.
    bool client_came() const {
        OVERLAPPED o{};
        o.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        const BOOL connected = ConnectNamedPipe(pipe, &o);
        const DWORD error = GetLastError();
        CancelIo(pipe);
        CloseHandle(o.hEvent);
        return connected || error == ERROR_PIPE_CONNECTED || error == ERROR_NO_DATA;
    }
};

class WindowsSurroundings : public Cli {};

TEST_F(WindowsSurroundings, PipesAndDeviceNamesAreNeverReadAsFiles) {
    put("data.bin", "plain data");
    encrypt_ok("data.bin", {"-o", "data.qvk"});
    PipeServer source(L"source");
    PipeServer key(L"key");
    ASSERT_NE(source.pipe, INVALID_HANDLE_VALUE);
    const struct {
        const char* label;
        std::vector<std::string> args;
        std::string named;
    } cases[] = {
        {"a named pipe as the source", {"encrypt", source.utf8(), "-o", "out.qvk", "--password-file", "pw"},
         source.utf8()},
        {"a named pipe as the key file", {"encrypt", "data.bin", "-o", "out.qvk", "-k", key.utf8(), "--password-file", "pw"},
         key.utf8()},
        {"the console as the source", {"encrypt", "CON", "-o", "out.qvk", "--password-file", "pw"}, "CON"},
        {"NUL as the source", {"encrypt", "nul.txt", "-o", "out.qvk", "--password-file", "pw"}, "nul.txt"},
        {"NUL to test", {"test", "NUL"}, "NUL"},
        {"a port as the container", {"decrypt", "COM1", "-o", "out", "--password-file", "pw"}, "COM1"},
        {"a device path as the key file",
         {"decrypt", "data.qvk", "-o", "out", "-k", "\\\\.\\PhysicalDrive0", "--password-file", "pw"},
         "\\\\.\\PhysicalDrive0"},
    };
    const auto before = entries();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const ProcessResult r = run(c.args);
        EXPECT_EQ(r.exit_code, 14);
        EXPECT_EQ(r.err, failure(c.named, OPEN_ERROR, 14, NOT_REGULAR));
        EXPECT_EQ(entries(), before);
    }
    EXPECT_FALSE(source.client_came());
    EXPECT_FALSE(key.client_came());
}

TEST_F(WindowsSurroundings, ADeviceNameIsNeverAnOutput) {
    put("data.bin", "plain data");
    put("pw", "pw");
    const auto before = entries();
    for (const std::string target : {"NUL", "con.qvk", "LPT1"}) {
        for (const bool force : {false, true}) {
            SCOPED_TRACE(target + (force ? " with --force" : ""));
            std::vector<std::string> args = {"encrypt", "data.bin", "-o", target, "--password-file", "pw"};
            if (force) args.push_back("-f");
            const ProcessResult r = run(args);
            EXPECT_EQ(r.exit_code, 16);
            EXPECT_EQ(r.err, failure(target, "Save Error: The file cannot be saved.", 16, NOT_REGULAR));
            EXPECT_EQ(entries(), before);
        }
    }
}

TEST_F(WindowsSurroundings, APasswordMayComeThroughANamedPipe) {
    put("data.bin", "plain data");
    PipeServer secret(L"secret");
    ASSERT_NE(secret.pipe, INVALID_HANDLE_VALUE);
    std::thread server([&] {
        OVERLAPPED o{};
        o.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!ConnectNamedPipe(secret.pipe, &o) && GetLastError() == ERROR_IO_PENDING)
            WaitForSingleObject(o.hEvent, 30000);
        DWORD put_bytes = 0;
        OVERLAPPED w{};
        w.hEvent = o.hEvent;
        ResetEvent(o.hEvent);
        if (!WriteFile(secret.pipe, "piped pw\n", 9, &put_bytes, &w) && GetLastError() == ERROR_IO_PENDING)
            GetOverlappedResult(secret.pipe, &w, &put_bytes, TRUE);
        FlushFileBuffers(secret.pipe);
        DisconnectNamedPipe(secret.pipe);
        CloseHandle(o.hEvent);
    });
    const ProcessResult r = run({"encrypt", "data.bin", "-o", "data.qvk", "-q", "--password-file", secret.utf8()});
    server.join();
    ASSERT_EQ(r.exit_code, 0) << r.err;
    put("pw", "piped pw");
    const ProcessResult back = run({"decrypt", "data.qvk", "-o", "back", "-q", "--password-file", "pw"});
    EXPECT_EQ(back.exit_code, 0) << back.err;
    EXPECT_EQ(text_of(read_file(dir_ / "back")), "plain data");
}

}  // namespace
}  // namespace corvane::testing
