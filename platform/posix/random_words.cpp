#include "platform/posix/random_words.h"

#include <sys/random.h>

#include <cerrno>
#include <utility>

namespace hdd {

errno_t FillFromKernel(void* buffer, size_t bytes)
{
    auto* at = static_cast<unsigned char*>(buffer);
    while (bytes > 0) {
        const ssize_t got = getrandom(at, bytes, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno != 0 ? errno : EIO;
        }
        if (got == 0) {
            return EIO;
        }
        at += got;
        bytes -= static_cast<size_t>(got);
    }
    return 0;
}

RandomWords::RandomWords(RandomFill fill) : m_fill(std::move(fill)) {}

errno_t RandomWords::Next(unsigned int* word)
{
    if (m_next == kBatchWords) {
        const errno_t error = m_fill(m_words, sizeof m_words);
        if (error != 0) {
            *word = 0;
            return error;
        }
        m_next = 0;
    }
    *word = m_words[m_next++];
    return 0;
}

}  // namespace hdd
