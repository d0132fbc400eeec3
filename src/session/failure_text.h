#pragma once

#include <QString>

#include <exception>

// What a failed command tells the user: what failed, in words; never the name of the class that threw.
QString failureText(const std::exception& failure);
