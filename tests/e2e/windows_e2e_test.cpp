// What differs on Windows: arguments pass through one command-line string,
// text-mode files end their lines in CR LF, message boxes and debug lines go
// to the desktop and the debugger instead of stderr. The same tests run
// everywhere; each checks the behaviour of the platform it runs on.
//
// Under wine, WINEDEBUG=+debugstr prints each debug line as
//   0024:warn:debugstr:OutputDebugStringA "Mesh: 1\tUVs:3/3\n"
// on the Unix stderr of the wine process that started the program, not on
// the stderr handle it was given, and no channel of that setting shows a
// message box. So these tests watch a run as a debugger does, which works
// under wine and on Windows alike.

#include "app/pipelines.h"
#include "app/validation.h"
#include "md5/md5anim_writer.h"
#include "md5/md5mesh_writer.h"
#include "object/lwo_reader.h"
#include "scene/scene_reader.h"

#include "lwo_builder.h"
#include "scene_builder.h"
#include "support/capture_reporter.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace lwmd5 {
namespace {

namespace fs = std::filesystem;
using namespace lwmd5::authoring;
using namespace lwmd5::testing;

const char kMeshBanner[] = "lw to md5mesh converter by Tarvel, v0.1\n\n";

TEST(WindowsRuns, ArgumentsReachTheProgramUnchanged)
{
    // The C runtime splits the command line again: blanks, quotes and
    // backslashes in front of quotes or at the end need the quoting rules.
    const std::vector<std::pair<std::string, std::string>> pairs = {
        {"a b", "c\\d"},
        {"trailing\\", "two trailing\\\\"},
        {"say \"hi\"", "\\\"quoted\\\""},
        {"", "\t tab"},
        {"C:\\Program Files\\lw\\walk.lwo", "D:\\walk.lwo"},
    };
    const TempDir dir;
    for (const auto& [first, second] : pairs) {
        SCOPED_TRACE(first + " | " + second);
        const ProgramResult run = runProgram(meshconvPath(), {first, second}, dir.path(), "meshconv");
        EXPECT_EQ(run.exitStatus, 2);
        EXPECT_EQ(run.err, platformText("meshconv: neither '" + first + "' nor '" + second +
                                        "' is a scene file (.lws)\n"));
    }
    // Argument 0 follows rules of its own: quoted as a whole, no escapes.
    for (const std::string argv0 : {"meshconv", "C:\\Program Files\\lw tools\\meshconv.exe"}) {
        SCOPED_TRACE(argv0);
        const ProgramResult run = runProgram(meshconvPath(), {}, dir.path(), argv0);
        EXPECT_EQ(run.exitStatus, 2);
        const std::string usage = "start the program with \"" + argv0 +
                                  " lwsfile lwofile [scalefactor]\"\nor drag and drop a lwsfile and a lwofile\n";
        EXPECT_EQ(run.out, platformText(kMeshBanner + usage));
    }
}

// One bone over a square of two triangles with a UV map and a weight map.
Bytes squareObject()
{
    return form("LWO2", {pntsChunk({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}),
                         polsChunk({{0, 1, 2}, {0, 2, 3}}),
                         uvMapChunk("Texture", {{0, 0, 0}, {1, 1, 0}, {2, 1, 1}, {3, 0, 1}}),
                         weightMapChunk("Root", {{0, 1}, {1, 1}, {2, 1}, {3, 1}}), surfChunk("Skin")});
}

std::string oneBoneScene(const std::string& objectFile)
{
    ChannelSpecs channels = restChannels();
    channels[0].keys.push_back({0.5f, 1.0f, 0});
    const BoneSpec root{"Root", "Root", {0, 0, 0}, {0, 0, 0}, 1.0f, -1, channels};
    return SceneTextBuilder().header(0, 2, 30, objectFile).bone(root).text();
}

TEST(WindowsRuns, FilesInFoldersWithBlanksEndTheirLinesAsTextModeWritesThem)
{
    const TempDir dir;
    const fs::path workingDirectory = dir / "my models";
    const fs::path folder = workingDirectory / "walk cycle";
    fs::create_directories(folder);
    dir.write("my models/walk cycle/hero run.lws", oneBoneScene("hero run.lwo"));
    dir.write("my models/walk cycle/hero run.lwo", squareObject());
    const fs::path object = folder / "hero run.lwo";
#ifdef _WIN32
    // A relative path with a backslash and an absolute one as Explorer passes it.
    const std::string scene = "walk cycle\\hero run.lws";
    ASSERT_NE(object.string().find(":\\"), std::string::npos) << object.string();
#else
    const std::string scene = "walk cycle/hero run.lws";
#endif
    const std::string scenePath = (folder / "hero run.lws").string();

    // The same inputs converted here, without the programs' file output.
    CaptureReporter report;
    Scene meshScene;
    ASSERT_TRUE(readSceneBones(scenePath, meshScene, report));
    ASSERT_TRUE(loadLwoObject(object.string(), meshScene.object, report));
    ASSERT_TRUE(validateInputs(meshScene, {scenePath, object.string(), false}, report));
    convertMesh(meshScene, report);
    Scene animScene;
    ASSERT_TRUE(readScene(scenePath, animScene, report));
    ASSERT_TRUE(loadLwoObject(object.string(), animScene.object, report));
    ASSERT_TRUE(validateInputs(animScene, {scenePath, object.string(), true}, report));
    convertAnimation(animScene, report);
    ASSERT_EQ(report.count(CaptureReporter::Event::Error), 0u);

    struct Output {
        fs::path program;
        const char* extension;
        std::string text;
    };
    const Output outputs[] = {{meshconvPath(), ".md5mesh", formatMd5Mesh(meshScene)},
                              {animconvPath(), ".md5anim", formatMd5Anim(animScene)}};
    for (const Output& output : outputs) {
        SCOPED_TRACE(output.extension);
        ASSERT_NE(output.text.find('\n'), std::string::npos);
        const ProgramResult run = runProgram(output.program, {object.string(), scene}, workingDirectory, "converter");
        EXPECT_EQ(run.exitStatus, 0) << run.err;
        const std::string written = readFile(folder / (std::string("hero run") + output.extension));
        EXPECT_EQ(written, platformText(output.text));
#ifdef _WIN32
        EXPECT_EQ(std::count(written.begin(), written.end(), '\r'), std::count(written.begin(), written.end(), '\n'));
#endif
        // Nothing but the one output file beside the inputs: no temporary file left.
        std::size_t files = 0;
        for (const auto& entry : fs::directory_iterator(folder)) files += entry.is_regular_file();
        EXPECT_EQ(files, output.extension == std::string(".md5mesh") ? 3u : 4u);
    }
}

// The reader's messages in file order: a UV map, a quad, polygon tags, a
// nested FORM of another type, a UV fix map, a weight map.
Bytes messageObject()
{
    return form("LWO2", {pntsChunk({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}),
                         uvMapChunk("Texture", {{0, 0, 0}, {1, 1, 0}, {2, 1, 1}}),
                         polsChunk({{0, 1, 2}, {0, 2, 3, 1}}),
                         ptagChunk("SURF", {{0, 0}, {1, 0}}),
                         form("LWOB", {pntsChunk({{5, 5, 5}})}),
                         uvFixMapChunk("Texture", {{1, 1, 0.5f, 0.5f}}),
                         weightMapChunk("Root", {{0, 1}, {1, 1}, {2, 1}, {3, 1}}),
                         surfChunk("Skin")});
}

const std::vector<std::string> kMessages = {
    "debug: Mesh: 1\tUVs:3/3\n",
    "box: ERROR!!! / Check Geometry! Only 3 verts per poly!",
    "debug: PTags: 8 - 2\n",
    "box: Whassuuup?? / Wrong File Format!",
    "debug: Mesh: 1\tUVFIXs:1/1\n",
    "debug: Mesh: 1\tWs:4/4\n",
};

struct WatchedRun {
    int exitStatus = -1;
    std::vector<std::string> messages; // "box: TITLE / TEXT" and "debug: LINE", in order
    std::string err;
    std::string why; // set when the run could not be watched
};

#if defined(_WIN32) && defined(_M_X64) || defined(_WIN32) && defined(__x86_64__)

std::string readChildString(HANDLE process, const void* address)
{
    std::string text;
    char block[64];
    for (auto* at = static_cast<const char*>(address); text.size() < 4096; at += sizeof block) {
        SIZE_T got = 0;
        if (!ReadProcessMemory(process, at, block, sizeof block, &got) || got == 0) break;
        const std::string part(block, got);
        const std::size_t zero = part.find('\0');
        text += part.substr(0, zero);
        if (zero != std::string::npos) break;
    }
    return text;
}

// The name in a loaded module's export directory, e.g. "USER32.dll".
std::string exportedName(HANDLE process, const char* base)
{
    IMAGE_DOS_HEADER dos{};
    IMAGE_NT_HEADERS64 nt{};
    IMAGE_EXPORT_DIRECTORY exports{};
    SIZE_T got = 0;
    if (!ReadProcessMemory(process, base, &dos, sizeof dos, &got) ||
        !ReadProcessMemory(process, base + dos.e_lfanew, &nt, sizeof nt, &got)) {
        return {};
    }
    const IMAGE_DATA_DIRECTORY& directory = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (directory.Size == 0 ||
        !ReadProcessMemory(process, base + directory.VirtualAddress, &exports, sizeof exports, &got)) {
        return {};
    }
    std::string name = readChildString(process, base + exports.Name);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

// Runs the program as its debugger, the way a developer watches it on
// Windows: each OutputDebugStringA line arrives as a debug event, and a
// breakpoint on user32's MessageBoxA records the box's title and text and
// returns IDOK at once, so no window waits for a click.
WatchedRun watchRun(const fs::path& program, const std::vector<std::string>& arguments, const fs::path& folder)
{
    WatchedRun run;
    HMODULE user32 = LoadLibraryW(L"user32.dll");
    const auto* messageBox = reinterpret_cast<const char*>(GetProcAddress(user32, "MessageBoxA"));
    const std::ptrdiff_t messageBoxOffset = messageBox - reinterpret_cast<const char*>(user32);

    const fs::path errPath = folder / "watched-stderr.txt";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE err = CreateFileW(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE out = CreateFileW(L"NUL", GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = err;
    std::wstring line = L"program";
    for (const std::string& argument : arguments) line += L" \"" + fs::path(argument).wstring() + L"\"";
    PROCESS_INFORMATION process{};
    const bool started = CreateProcessW(program.wstring().c_str(), line.data(), nullptr, nullptr, TRUE,
                                        DEBUG_ONLY_THIS_PROCESS, nullptr, folder.wstring().c_str(), &startup,
                                        &process);
    CloseHandle(err);
    CloseHandle(out);
    if (!started) {
        run.why = "CreateProcess failed with error " + std::to_string(GetLastError());
        return run;
    }

    const char* childUser32 = nullptr;
    const char* breakpoint = nullptr;
    bool loaderBreakpointSeen = false;
    for (bool running = true; running;) {
        DEBUG_EVENT event{};
        if (!WaitForDebugEvent(&event, 60000)) {
            run.why = "no debug event for 60 s";
            TerminateProcess(process.hProcess, 99);
            break;
        }
        DWORD continueStatus = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT:
            if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
            break;
        case LOAD_DLL_DEBUG_EVENT:
            if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
            if (exportedName(process.hProcess, static_cast<const char*>(event.u.LoadDll.lpBaseOfDll)) == "user32.dll") {
                childUser32 = static_cast<const char*>(event.u.LoadDll.lpBaseOfDll);
            }
            break;
        case OUTPUT_DEBUG_STRING_EVENT: {
            const OUTPUT_DEBUG_STRING_INFO& info = event.u.DebugString;
            run.messages.push_back("debug: " + readChildString(process.hProcess, info.lpDebugStringData));
            break;
        }
        case EXCEPTION_DEBUG_EVENT: {
            const EXCEPTION_RECORD& record = event.u.Exception.ExceptionRecord;
            if (record.ExceptionCode != EXCEPTION_BREAKPOINT) {
                continueStatus = DBG_EXCEPTION_NOT_HANDLED;
            } else if (!loaderBreakpointSeen) {
                // The loader stops once the program's imports are in place.
                loaderBreakpointSeen = true;
                if (childUser32 != nullptr) {
                    breakpoint = childUser32 + messageBoxOffset;
                    const unsigned char int3 = 0xCC;
                    SIZE_T written = 0;
                    DWORD protection = 0;
                    VirtualProtectEx(process.hProcess, const_cast<char*>(breakpoint), 1, PAGE_EXECUTE_READWRITE,
                                     &protection);
                    WriteProcessMemory(process.hProcess, const_cast<char*>(breakpoint), &int3, 1, &written);
                    VirtualProtectEx(process.hProcess, const_cast<char*>(breakpoint), 1, protection, &protection);
                    FlushInstructionCache(process.hProcess, breakpoint, 1);
                }
            } else if (record.ExceptionAddress == breakpoint) {
                // At the entry of MessageBoxA(owner, text, title, style):
                // return IDOK to the caller as if the user had clicked.
                HANDLE thread = OpenThread(THREAD_GET_CONTEXT | THREAD_SET_CONTEXT, FALSE, event.dwThreadId);
                CONTEXT context{};
                context.ContextFlags = CONTEXT_FULL;
                GetThreadContext(thread, &context);
                const std::string title = readChildString(process.hProcess, reinterpret_cast<void*>(context.R8));
                const std::string text = readChildString(process.hProcess, reinterpret_cast<void*>(context.Rdx));
                run.messages.push_back("box: " + title + " / " + text);
                DWORD64 returnAddress = 0;
                SIZE_T got = 0;
                ReadProcessMemory(process.hProcess, reinterpret_cast<void*>(context.Rsp), &returnAddress,
                                  sizeof returnAddress, &got);
                context.Rip = returnAddress;
                context.Rsp += sizeof returnAddress;
                context.Rax = IDOK;
                SetThreadContext(thread, &context);
                CloseHandle(thread);
            }
            break;
        }
        case EXIT_PROCESS_DEBUG_EVENT:
            run.exitStatus = static_cast<int>(event.u.ExitProcess.dwExitCode);
            running = false;
            break;
        default: break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continueStatus);
    }
    if (run.why.empty() && breakpoint == nullptr) run.why = "user32.dll was not found in the program";
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    run.err = readFile(errPath);
    fs::remove(errPath);
    return run;
}

#else

// Elsewhere both kinds of message are stderr lines, between the program's
// own; they are told apart by the program-name prefix of the boxes.
WatchedRun watchRun(const fs::path& program, const std::vector<std::string>& arguments, const fs::path& folder)
{
    const std::string name = program.stem().string();
    const ProgramResult result = runProgram(program, arguments, folder, name);
    WatchedRun run;
    run.exitStatus = result.exitStatus;
    std::size_t at = 0;
    while (at < result.err.size()) {
        const std::size_t end = result.err.find('\n', at);
        const std::string line = result.err.substr(at, end == std::string::npos ? end : end - at + 1);
        at = end == std::string::npos ? result.err.size() : end + 1;
        const std::string prefix = name + ": ";
        const std::size_t colon = line.find(": ", prefix.size());
        if (line.rfind(prefix, 0) != 0) {
            run.messages.push_back("debug: " + line);
        } else if (colon != std::string::npos && line.rfind(prefix + "warning: ", 0) != 0) {
            run.messages.push_back("box: " + line.substr(prefix.size(), colon - prefix.size()) + " / " +
                                   line.substr(colon + 2, line.size() - colon - 3));
        } else {
            run.err += line;
        }
    }
    return run;
}

#endif

TEST(WindowsRuns, MessageBoxesAndDebugLinesKeepTheReadersOrder)
{
#if defined(_WIN32) && !(defined(_M_X64) || defined(__x86_64__))
    GTEST_SKIP() << "the debugger of this test reads x86-64 registers";
#endif
    const TempDir dir;
    dir.write("walk.lws", oneBoneScene("walk.lwo"));
    dir.write("walk.lwo", messageObject());
    for (const fs::path& program : {meshconvPath(), animconvPath()}) {
        SCOPED_TRACE(program.filename().string());
        const WatchedRun run = watchRun(program, {"walk.lws", "walk.lwo"}, dir.path());
        ASSERT_TRUE(run.why.empty()) << run.why;
        EXPECT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.messages, kMessages);
        // The boxes did not end the run, nor reach the program's stderr.
        EXPECT_EQ(run.err, "");
    }
    EXPECT_TRUE(fs::is_regular_file(dir / "walk.md5mesh"));
    EXPECT_TRUE(fs::is_regular_file(dir / "walk.md5anim"));
}

} // namespace
} // namespace lwmd5
