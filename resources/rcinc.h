/* Resource identifiers shared by quaxel.rc, the C++ code and the tests.
   Plain #defines only: the resource compiler reads this file too. */
#ifndef QUAXEL_RCINC_H
#define QUAXEL_RCINC_H

/* Icon */
#define IDI_QUAXEL 100

#endif
