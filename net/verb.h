// The verb table shared by both request functions.
#pragma once

// 0 "GET", 1 "POST", 2 "HEAD", 3 "PUT", 4 "OPTIONS", 5 "DELETE", 6 "TRACE", 7 "CONNECT"; any
// other index selects "GET".
const char* verb_name(int verb);
