/* Resource identifiers shared by quaxel.rc, the C++ code and the tests.
   Plain #defines only: the resource compiler reads this file too. */
#ifndef QUAXEL_RCINC_H
#define QUAXEL_RCINC_H

/* Icon, menus, accelerators, bitmaps */
#define IDI_QUAXEL 100
#define IDM_MAIN 100          /* main menu */
#define IDM_CONTEXT 110       /* context menu of the drawing window (one pop-up) */
#define IDA_MAIN 101          /* accelerator table */
#define IDB_TOOLBAR 199       /* 13 toolbar images of 20 x 20, side by side */
#define TOOLBAR_IMAGE_COUNT 13
#define TOOLBAR_IMAGE_SIZE 20

/* Child window ids */
#define ID_DRAWING 0
#define ID_TOOLBAR 199
#define ID_STATUSBAR 198

/* Commands: File */
#define CM_SAVE 121
#define CM_LOAD 122
#define CM_EXPORT 123
#define CM_WELCOME 141
#define CM_EXIT 101

/* Commands: Edit */
#define CM_COPY 801

/* Commands: Range */
#define CM_RANGE 102
#define CM_ITERATIONS 103
#define CM_RESET_RANGE 124
#define CM_AUTOZOOM 108
#define CM_WIDEN_10 711
#define CM_WIDEN_25 712
#define CM_WIDEN_50 713
#define CM_WIDEN_100 714
#define CM_CPU_FIXED 110      /* CM_CPU_FIXED + numeric type: the four type items */
#define CM_FPU_SINGLE 111
#define CM_FPU_DOUBLE 112
#define CM_FPU_EXTENDED 113

/* Commands: Display */
#define CM_DISPLAY 104
#define CM_DEFAULT_SIZE 11842
#define CM_LEAVE_FULLSCREEN 11843
#define CM_FULLSCREEN 11844
#define CM_PALETTE 105
#define CM_PREV_PALETTE 107
#define CM_NEXT_PALETTE 106
#define CM_SHIFT_PREV 131     /* Shift+F7 */
#define CM_SHIFT_NEXT 132     /* Shift+F8 */
#define CM_SHIFT_BACK 133     /* Ctrl+F7: large step */
#define CM_SHIFT_FORWARD 134  /* Ctrl+F8: large step */
#define CM_SPREAD_1 601       /* Alt+1 ... Alt+0: CM_SPREAD_1 + n - 1, n = 1 to 10 */
#define CM_SPREAD_10 610
#define CM_FIT_1 651          /* Ctrl+1 ... Ctrl+0: CM_FIT_1 + n - 1, n = 1 to 10 */
#define CM_FIT_10 660

/* Commands: Help */
#define CM_HELP_INDEX 901
#define CM_ABOUT 902
#define CM_QUICKREF 903

/* Commands: context menu */
#define CM_CENTRE 701
#define CM_TAKE_CONSTANT 702
#define CM_JULIA 703
#define CM_MANDELBROT 704

/* Posted to a modal dialog when F1 is pressed in it */
#define CM_DIALOG_HELP 20480

/* Private messages of the main and drawing windows (WM_USER + 1, + 2) */
#define QM_RECOLOUR 1025        /* recolour with the current settings */
#define QM_PALETTE_CHANGED 1026 /* rebuild the palette keeping the shift */

#endif
