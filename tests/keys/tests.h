#pragma once
#include <QObject>

// Each test class of this program registers itself; main runs them all.
void registerTest(QObject *(*make)());

#define KEYS_TEST(Class)                                                                   \
    namespace {                                                                            \
    const bool Class##Registered = (registerTest([]() -> QObject * { return new Class; }), \
                                    true);                                                 \
    }
