#include "server/service/GeneratedPassword.h"

#include <sys/random.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tolvan {

std::string GeneratePassword() {
    // Bytes at or above the largest multiple of the alphabet's size are drawn again, so that
    // every character is equally likely.
    constexpr unsigned kUsable = 256 / kPasswordAlphabet.size() * kPasswordAlphabet.size();
    std::string password;
    unsigned char bytes[64];
    for (int round = 0; password.size() < kGeneratedPasswordLength; ++round) {
        if (round == 100) {
            throw std::runtime_error("the kernel's random source gives no usable bytes");
        }
        const ssize_t got = getrandom(bytes, sizeof bytes, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::runtime_error(std::string("cannot read the kernel's random source: ") +
                                     std::strerror(errno));
        }
        for (ssize_t i = 0; i < got && password.size() < kGeneratedPasswordLength; ++i) {
            if (bytes[i] < kUsable) {
                password += kPasswordAlphabet[bytes[i] % kPasswordAlphabet.size()];
            }
        }
    }
    return password;
}

}  // namespace tolvan
