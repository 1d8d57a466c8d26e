#include "RecordingFile.h"

#include "VTAudioFileAIFF.h"
#include "VTAudioFileWAV.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace vt::player {

namespace {

// 16-bit stereo, the encoding every recording is written in.
constexpr unsigned kInt16Stereo = 9;

std::unique_ptr<VTAudioFileBase> writerFor(const std::string& path)
{
    if (path.empty())
        return nullptr;
    switch (std::tolower(static_cast<unsigned char>(path.back()))) {
    case 'f':
        return std::make_unique<VTAudioFileAIFF>();
    case 'v':
        return std::make_unique<VTAudioFileWAV>();
    default:
        return nullptr;
    }
}

// A file of its own beside the path, created empty; its name, or "" when
// none could be made.
std::string reserveTemporaryBeside(const std::string& path)
{
    std::string name = path + ".XXXXXX";
    const int descriptor = mkstemp(name.data());
    if (descriptor < 0)
        return {};
    // mkstemp makes the file private; a take is an ordinary document.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(descriptor, 0666 & ~mask);
    close(descriptor);
    return name;
}

} // namespace

bool saveRecording(const std::string& path, float** channels, unsigned frames, unsigned rate)
{
    std::unique_ptr<VTAudioFileBase> writer = writerFor(path);
    if (writer == nullptr || channels == nullptr || channels[0] == nullptr || channels[1] == nullptr)
        return false;
    const std::string temporary = reserveTemporaryBeside(path);
    if (temporary.empty())
        return false;

    bool written = writer->writeFile(temporary.c_str(), frames, rate, kInt16Stereo) &&
                   writer->setData(channels, frames, false) && writer->m_file != nullptr;
    // On disk before it takes the chosen name: a crash right after the
    // rename still leaves the whole take.
    if (written)
        written = std::fflush(writer->m_file) == 0 && fsync(fileno(writer->m_file)) == 0;
    writer->closeFile();
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace vt::player
