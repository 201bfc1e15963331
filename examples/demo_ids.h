/* Resource numbers of the demo's own text module (demo.res). */
#ifndef DEMO_IDS_H
#define DEMO_IDS_H

#define IDR_DEMO_TEXTS 500
#define IDR_DEMO_CAPTIONS 501

#define DEMO_TEXT_CONFIG_SHORT 1001
#define DEMO_TEXT_QUOTA 1002

#endif
