#pragma once

#include <gtest/gtest.h>

#include <memory>

// One Qt application object (QCoreApplication, QApplication) for a whole test program, made
// before the first test and gone after the last.
template <class TApplication>
class CQtEnvironment : public testing::Environment {
public:
    void SetUp() override { m_application = std::make_unique<TApplication>(m_argc, m_argv); }
    void TearDown() override { m_application.reset(); }

private:
    int m_argc = 1;
    char m_name[16] = "lumivex-test";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<TApplication> m_application;
};
