// The store's problems with the hive file, in German and naming the place, for the registry's
// reason every face gives (RegistryErrorText). Include after stdafx.h.
#pragma once

#include <hive_file.h>

#include <string>

// "" for HiveProblem::kNone.
std::string DescribeHiveProblem(const marrowick::platform::HiveProblem& problem);
