#pragma once

#include <string>
#include <vector>

// The operator log of a clean upgrade of the default unit (model 6181, boot loader 1.05,
// identity answered over Modbus).
inline const std::vector<std::string> kSuccessLog = {
    "Initialising Upgrade.....Done (1)",
    "Enabling BootLoader.....Done",
    "Retrieving Bootloader Info......VX6181 v1.05",
    "Retrieving Model Number......OK",
    "Erasing Program Memory......100%",
    "Sending New Program Data......100%",
    "Disabling Boot Mode......Done",
    "Restarting Unit......Done",
    "Finalising Upgrade.....Done",
};
