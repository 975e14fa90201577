// Text placed right before a page that cannot be read, so that a function reading one character past
// it crashes.
#pragma once
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace testsupport {

template <class C>
class BeforeUnreadablePage {
public:
    // The characters as given, without a terminating zero.
    explicit BeforeUnreadablePage(const std::basic_string<C>& chars) : page_(static_cast<size_t>(::sysconf(_SC_PAGESIZE))) {
        void* base = ::mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        EXPECT_NE(base, MAP_FAILED);
        base_ = static_cast<char*>(base);
        EXPECT_EQ(::mprotect(base_ + page_, page_, PROT_NONE), 0);
        text_ = reinterpret_cast<C*>(base_ + page_) - chars.size();
        std::memcpy(text_, chars.data(), chars.size() * sizeof(C));
    }
    ~BeforeUnreadablePage() { ::munmap(base_, 2 * page_); }
    BeforeUnreadablePage(const BeforeUnreadablePage&) = delete;
    BeforeUnreadablePage& operator=(const BeforeUnreadablePage&) = delete;
    const C* Text() const { return text_; }

private:
    size_t page_;
    char* base_ = nullptr;
    C* text_ = nullptr;
};

}  // namespace testsupport
