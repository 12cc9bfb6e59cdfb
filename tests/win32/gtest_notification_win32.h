#pragma once

// GoogleTest's thread start signal, which it otherwise builds on std::mutex and
// std::condition_variable: the toolchain's win32 thread model has neither. Included ahead of
// every file that uses GoogleTest (see CMakeLists.txt), with GTEST_HAS_NOTIFICATION_ set.
namespace testing::internal {

class Notification {
public:
    Notification();
    ~Notification();
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;
    void Notify();
    void WaitForNotification();

private:
    void* event_;
};

}  // namespace testing::internal
