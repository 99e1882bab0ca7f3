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

/* Dialog templates. The control ids below restart at the same numbers in
   each dialog; only the dialog's own section applies to it. */
#define IDD_RANGE 101
#define IDD_ITERATIONS 102
#define IDD_PALETTE 103
#define IDD_DISPLAY 104
#define IDD_SAVE_COORDS 105
#define IDD_LOAD_COORDS 106
#define IDD_ABOUT 107
#define IDD_WELCOME 108

/* Labels, frames and pictures that the code never addresses */
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

/* Range dialog */
#define IDC_RANGE_REAL_MIN 101
#define IDC_RANGE_REAL_MAX 102
#define IDC_RANGE_IMAG_MIN 111
#define IDC_RANGE_IMAG_MAX 112
#define IDC_RANGE_ITER_START 121
#define IDC_RANGE_ITER_INC 122
#define IDC_RANGE_ITER_END 123
#define IDC_RANGE_CONST_REAL 131
#define IDC_RANGE_CONST_IMAG 132
#define IDC_RANGE_MANDELBROT 301  /* IDC_RANGE_MANDELBROT + formula: the formula's radio button */
#define IDC_RANGE_JULIA 302

/* Iterations dialog */
#define IDC_ITER_CURRENT_END 101  /* read-only */
#define IDC_ITER_NEW_END 102

/* Colour Palette dialog */
#define IDC_PALETTE_1 101         /* IDC_PALETTE_1 + n - 1: the radio button of palette n, n = 1 to 11 */
#define IDC_PALETTE_11 111
#define IDC_PALETTE_MODULO 201    /* IDC_PALETTE_MODULO + colour mode */
#define IDC_PALETTE_PERCENTAGE 202
#define IDC_PALETTE_SET_COLOUR 211      /* check box */
#define IDC_PALETTE_SET_COLOUR_TEXT 212 /* shows the position of the bar below */
#define IDC_PALETTE_SET_COLOUR_BAR 213
#define IDC_PALETTE_SHIFT_BAR 221
#define IDC_PALETTE_APPLY 199

/* Display dialog */
#define IDC_DISPLAY_SIZE_1 101    /* IDC_DISPLAY_SIZE_1 + choice - 1: radio buttons of choices 1 to 8 */
#define IDC_DISPLAY_SIZE_7 107
#define IDC_DISPLAY_SIZE_FREE 108
#define IDC_DISPLAY_DOUBLE_SIZE 111    /* hidden: carries the scale */
#define IDC_DISPLAY_MEM_SINGLE 121     /* CPU Fixed and FPU Single */
#define IDC_DISPLAY_MEM_DOUBLE 122
#define IDC_DISPLAY_MEM_EXTENDED 123
#define IDC_DISPLAY_PHYS_MEMORY 124
#define IDC_DISPLAY_WARNING 129
#define IDC_DISPLAY_FREE_WIDTH 131
#define IDC_DISPLAY_FREE_HEIGHT 132
#define IDC_DISPLAY_FREE_TIMES 133     /* the "x" between the free fields */
#define IDC_DISPLAY_FREE_PIXEL 134

/* Save Co-ordinates dialog: its own OK and Cancel ids (Esc still sends IDCANCEL) */
#define IDC_SAVE_LABEL 101
#define IDC_SAVE_NAME 102
#define IDC_SAVE_OK 103
#define IDC_SAVE_CANCEL 104

/* Load Co-ordinates dialog: likewise */
#define IDC_LOAD_LIST 101
#define IDC_LOAD_OK 102
#define IDC_LOAD_CANCEL 103
#define IDC_LOAD_ICON 104
#define IDC_LOAD_CREDIT 105

/* About dialog */
#define IDC_ABOUT_TEXT 101
#define IDC_ABOUT_THANKS 199      /* off the visible area; its mnemonic B presses it */
#define IDS_ABOUT_THANKS 107      /* string: what IDC_ABOUT_THANKS puts into IDC_ABOUT_TEXT */

/* Welcome dialog */
#define IDC_WELCOME_DONT_SHOW 121
#define IDC_WELCOME_HELP_INDEX 201
#define IDC_WELCOME_QUICKREF 202

#endif
