-- orbit keeper
-- keep the moons on their paths
moons={}
score=0
t=0

function _init()
 for i=1,6 do
  add(moons,{a=i/6,r=20+i*6,s=0.002*(7-i),c=6+i%4})
 end
 music(0)
end

function _update()
 t+=1
 for m in all(moons) do
  m.a+=m.s
  if btn(0) then m.r-=0.5 end
  if btn(1) then m.r+=0.5 end
  m.r=mid(12,m.r,60)
 end
 if t%30==0 then score+=#moons end
end

function draw_moon(m)
 local x=64+cos(m.a)*m.r
 local y=64+sin(m.a)*m.r
 circfill(x,y,3,m.c)
 circ(x,y,4,1)
end

function _draw()
 cls()
 circfill(64,64,8,9)
 circ(64,64,10,10)
 for m in all(moons) do
  circ(64,64,m.r,1)
  draw_moon(m)
 end
 print("score: "..score,2,2,7)
 print("Time "..flr(t/30).."s",2,10,6)
end
