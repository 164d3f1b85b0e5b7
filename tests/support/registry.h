#pragma once
#include <QObject>

// Each Qt Test class of a test program registers itself; the shared main runs them all.
void registerTest(QObject *(*make)());

#define REGISTER_TEST(Class)                                                                                      \
    namespace {                                                                                                   \
    const bool Class##Registered = (registerTest([]() -> QObject * { return new Class; }), true);                 \
    }
