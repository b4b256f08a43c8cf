/******************************************************************/
/* THIS IS AN AUTOMATICALLY GENERATED FILE.  DO NOT EDIT IT!!!!!! */
/******************************************************************/
#include <stdio.h>
#include "dumptypes.h"
void dump_table1 (table1 x)
{
	fprintf (stdout, "**************** table1 ****************\n");
	fprintf (stdout, "x.id = ");
	dump_long (x.id);
	fprintf (stdout, "x.field1 = ");
	dump_string (x.field1);
}

