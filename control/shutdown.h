// Closing of the programs and services that hold the product's files.
#pragma once

void CloseRunningSoftware();
