// End-to-end tests: the built library loaded at run time, as a host program loads it.
#include <gtest/gtest.h>

int main_placeholder;
