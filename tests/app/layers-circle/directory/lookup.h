// The directory, which may not be seen from a call.
#pragma once
