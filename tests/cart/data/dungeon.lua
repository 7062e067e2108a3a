-- tiny dungeon
-- by the vexel team

-- the player walks a map of
-- rooms; keys open doors

player={x=8,y=8,dx=0,dy=0,keys=0,hp=3}
enemies={}
particles={}
msg=""
msg_t=0

function say(s)
 msg=s
 msg_t=60
end

function solid(x,y)
 local tile=mget(flr(x/8),flr(y/8))
 return fget(tile,0)
end

function spawn_enemy(x,y,kind)
 local e={x=x,y=y,kind=kind,t=rnd(100),hp=kind==1 and 2 or 1}
 add(enemies,e)
 return e
end

function burst(x,y,c,n)
 for i=1,n do
  add(particles,{x=x,y=y,dx=rnd(2)-1,dy=rnd(2)-1,c=c,life=10+rnd(10)})
 end
end

function _init()
 for j=0,15 do
  for i=0,15 do
   local tile=mget(i,j)
   if tile==32 then
    spawn_enemy(i*8,j*8,1)
    mset(i,j,0)
   elseif tile==33 then
    spawn_enemy(i*8,j*8,2)
    mset(i,j,0)
   end
  end
 end
 say("find the golden key!")
end

function move_player()
 local p=player
 p.dx,p.dy=0,0
 if (btn(0)) p.dx=-1
 if (btn(1)) p.dx=1
 if (btn(2)) p.dy=-1
 if (btn(3)) p.dy=1
 local nx,ny=p.x+p.dx,p.y+p.dy
 if not solid(nx,p.y) and not solid(nx+7,p.y+7) then p.x=nx end
 if not solid(p.x,ny) and not solid(p.x+7,ny+7) then p.y=ny end
 local tile=mget(flr((p.x+4)/8),flr((p.y+4)/8))
 if tile==16 then
  p.keys+=1
  mset(flr((p.x+4)/8),flr((p.y+4)/8),0)
  sfx(1)
  say("a key! ("..p.keys..")")
 elseif tile==17 and p.keys>0 then
  p.keys-=1
  mset(flr((p.x+4)/8),flr((p.y+4)/8),0)
  sfx(2)
  burst(p.x+4,p.y+4,10,12)
 end
end

function update_enemies()
 for e in all(enemies) do
  e.t+=1
  local dx=player.x-e.x
  local dy=player.y-e.y
  local d=sqrt(dx*dx+dy*dy)
  if d<48 and d>0 then
   local sp=e.kind==1 and 0.4 or 0.7
   e.x+=dx/d*sp
   e.y+=dy/d*sp
  end
  if d<6 then
   player.hp-=1
   burst(player.x+4,player.y+4,8,20)
   del(enemies,e)
   say("ouch!")
  end
 end
end

function update_particles()
 for q in all(particles) do
  q.x+=q.dx
  q.y+=q.dy
  q.life-=1
  if (q.life<=0) del(particles,q)
 end
end

function _update()
 if player.hp<=0 then
  if (btnp(4)) run()
  return
 end
 move_player()
 update_enemies()
 update_particles()
 if (msg_t>0) msg_t-=1
end

function _draw()
 cls(0)
 camera(player.x-60,player.y-60)
 map(0,0,0,0,64,32)
 for e in all(enemies) do
  spr(e.kind==1 and 48 or 49,e.x,e.y,1,1,e.t%20<10)
 end
 for q in all(particles) do
  pset(q.x,q.y,q.c)
 end
 spr(1,player.x,player.y)
 camera()
 rectfill(0,0,127,8,1)
 for i=1,player.hp do spr(2,i*8-8,0) end
 print("keys:"..player.keys,90,2,10)
 if msg_t>0 then
  print(msg,64-#msg*2,120,7)
 end
 if player.hp<=0 then
  print("game over",46,60,8)
  print("press \151 to retry",30,70,6)
 end
end
