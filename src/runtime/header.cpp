#include "runtime/header.h"

// Kept to two lines: the first is the marker that error reports look for.
// The collection helpers take anything: a value that is no table counts as
// empty (no error, as for every machine function given a wrong type); they
// keep their own `type`, whatever the program names so.
const char* const vexel_program_header =
    "-- vexel header\n"
    "_pausemenu={}\t"
    "function menuitem(index,label,callback) if index<1 or index>5 then return end "
    "_pausemenu[index]={label=label,callback=callback} _menuitem(index,label) end\t"
    "local _qz_type=type\t"
    "function all(c) if _qz_type(c)~='table' or #c==0 then return function() end end "
    "local i=1 local li=nil "
    "return function() if c[i]==li then i=i+1 end while c[i]==nil and i<=#c do i=i+1 end li=c[i] return li end end\t"
    "function foreach(c,f) for v in all(c) do f(v) end end\t"
    "function count(c,v) local n=0 if _qz_type(c)~='table' then return 0 end for i=1,#c do "
    "if v==nil then if c[i]~=nil then n=n+1 end elseif c[i]==v then n=n+1 end end return n end\t"
    "function add(c,v,i) if _qz_type(c)~='table' then return end local n=#c if i==nil then c[n+1]=v return v end "
    "i=i-i%1 if i<1 then i=1 elseif i>n+1 then i=n+1 end for j=n,i,-1 do c[j+1]=c[j] end c[i]=v return v end\t"
    "function deli(c,i) if _qz_type(c)~='table' then return end local n=#c if i==nil then i=n else i=i-i%1 end "
    "if i<1 or i>n then return end local v=c[i] for j=i,n-1 do c[j]=c[j+1] end c[n]=nil return v end\t"
    "function del(c,v) if _qz_type(c)~='table' or #c<1 then return end local n=#c "
    "for j=1,n do if c[j]==v then local r=c[j] for k=j,n-1 do c[k]=c[k+1] end c[n]=nil return r end end end\n";


// Starts on a line of its own so that a program missing an "end" is
// reported at "_end_of_program".
const char* const vexel_program_footer =
    "\n_end_of_program=1\n"
    "if _init then _init() end\n"
    "_set_mainloop_exists(0) if _mainloop then _set_mainloop_exists(1) end\n"
    "if _update60 then _set_fps(60) _update=nil else _set_fps(30) end\n"
    "if _mainloop==nil and (_draw or _update or _update60) then\n"
    " _set_mainloop_exists(2)\n"
    " function _mainloop()\n"
    "  while true do\n"
    "   _update_buttons() holdframe()\n"
    "   local r=stat(7)\n"
    "   if r==60 then _mark_cpu(0) _update60()\n"
    "   elseif r==30 and _update60 then _update60() _update_buttons() _mark_cpu(0) _update60()\n"
    "   elseif r==30 and _update then _mark_cpu(0) _update()\n"
    "   elseif r==15 and _update then _update() _update_buttons() _mark_cpu(0) _update()\n"
    "   end\n"
    "   _mark_cpu(1) if _draw then _draw() end _mark_cpu(2)\n"
    "   flip()\n"
    "   _update_framerate()\n"
    "   for i=1,5 do if _get_menu_item_selected(i) then _pausemenu[i].callback() end end\n"
    "  end\n"
    " end\n"
    "end\n"
    "if _mainloop then _mainloop() end\n";
